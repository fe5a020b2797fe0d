// The update gate's platform operations on Windows: the notice and the start
// of the flash utility.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include "gate/update_gate.h"

namespace flashgate::win {

class WindowsGate {
public:
    // A modal message box with no owner; returns when the user dismisses it.
    // Where no one could see it, it is not shown and the call fails.
    HRESULT ShowNotice(const Notice& notice);

    // Plain process creation from `commandLine`, without waiting for it.
    HRESULT StartProgram(const char16_t* commandLine, int showState);

    // The file process creation finds for `fileName`, started through the
    // shell, which asks for consent where the program requires elevation.
    // Does not wait for it; shows nothing of its own when it fails.
    HRESULT StartProgramThroughShell(const char16_t* fileName, int showState);
};

// Starts the program at `path` through the shell function given (the
// shell's ShellExecuteExW, or a test's stand-in), without waiting for it: in
// this program's current folder, as process creation would start it, and
// with a window of this program's own, never shown, as the request's window,
// which lets Windows bring its consent prompt to the front.
using ShellExecuteExFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
HRESULT StartThroughShell(const wchar_t* path, int showState, ShellExecuteExFunction shellExecuteEx);

// The file CreateProcessW starts for a command line that names a program
// without a folder, searched for in the same folders in the same order: the
// running program's own folder, the current folder, the system folders, PATH.
// The program's own path comes from the function given (tests stand in for
// GetModuleFileNameW); a folder that cannot be named whole fails the search.
using GetModuleFileNameFunction = DWORD(WINAPI*)(HMODULE, LPWSTR, DWORD);
HRESULT FindProgramAsProcessCreationDoes(const wchar_t* fileName, wchar_t (&path)[MAX_PATH],
                                         GetModuleFileNameFunction getModuleFileName = GetModuleFileNameW);

// What Windows reports about where the program runs and how it was started,
// through the functions given (Windows' own, or a test's stand-ins): whether
// a notice shown there could be seen by anyone.
struct SessionReport {
    BOOL(WINAPI* getUserObjectInformation)(HANDLE, int, PVOID, DWORD, LPDWORD);
    BOOL(WINAPI* processIdToSessionId)(DWORD, DWORD*);
    DWORD(WINAPI* activeConsoleSessionId)();
    void(WINAPI* getStartupInfo)(LPSTARTUPINFOW);
};
bool NoticeCanBeSeen(const SessionReport& windows);
bool NoticeCanBeSeen();  // with Windows' own functions

// Whether the program's starter asked for its first window to be hidden:
// Windows shows the first top-level window a program shows (its notice) in
// the show state the starter gave.
bool StartedHidden(const STARTUPINFOW& startup);

}  // namespace flashgate::win
