// Where Wine, which stands in for Windows in the project's own tests, does
// not do what Windows does, and what the self-test does about it: gathered
// here, so that everything else reads as the Windows code it is. On Windows
// each of these answers as Windows would, or does nothing.
#pragma once

#include <windows.h>

#include <string>

#include "selftest/handles.h"

namespace flashgate::selftest {

// Wine's version where Wine stands in for Windows; empty on Windows.
std::wstring WineVersion();

// How many times longer a program takes to start and decide here than on
// Windows: four in the project's emulated PC, where every instruction of
// Wine and the program is emulated (its scripts set FLASHGATE_EMULATED
// there), one anywhere else.
unsigned SlowerBy();

// Returns once this thread's desktop is there. Windows' desktops are there
// before any program; Wine starts a desktop's process when a program first
// needs it, and one started for flashgate.exe would count as something it
// started.
void AwaitDesktop(int tries = 120);  // half a second a try

// Whether the program at this path is Wine's own desktop process, which Wine
// starts for a desktop the first time a program there needs it: explorer.exe
// in a system folder. Never so on Windows, whose desktops need no process.
bool IsWineDesktopProcess(const std::wstring& path);

// Wine makes a desktop's window, starting a desktop process for it, when a
// program first needs that desktop, and on a station no one can see starts
// no process for it: the window is then the needing thread's. Where Wine
// stands in for Windows, a thread of the self-test's needs `desktop` (of
// `station`) first and keeps it until the keeper goes, so that neither that
// process nor the window is the program's met there. On Windows, whose
// desktops are there before any program and need no keeper, it does nothing.
class WineDesktopKeeper {
public:
    WineDesktopKeeper(HWINSTA station, HDESK desktop);
    ~WineDesktopKeeper();
    WineDesktopKeeper(const WineDesktopKeeper&) = delete;
    WineDesktopKeeper& operator=(const WineDesktopKeeper&) = delete;

    // Empty, or what went wrong in keeping it.
    const std::wstring& trouble() const { return trouble_; }

private:
    static DWORD WINAPI Keep(void* self);
    void Fail(const wchar_t* what);

    HWINSTA station_;
    HDESK desktop_;
    test::UniqueHandle ready_, stop_, thread_;
    std::wstring trouble_;
};

// The kind of icon an icon control shows, read off the screen: Wine keeps an
// icon's image in the process that loaded it, so another process cannot draw
// it from its handle as on Windows. "none" where nothing is drawn in time.
std::wstring IconOffScreen(HWND iconControl);

}  // namespace flashgate::selftest
