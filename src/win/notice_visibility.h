// Whether anyone could see a notice where the program runs, and so answer
// one: decided from what Windows reports, through functions given (Windows'
// own, or a test's stand-ins).
#pragma once

#include <windows.h>

namespace flashgate::win {

// What Windows reports about where the program runs and how it was started.
struct SessionReport {
    BOOL(WINAPI* getUserObjectInformation)(HANDLE, int, PVOID, DWORD, LPDWORD);
    BOOL(WINAPI* processIdToSessionId)(DWORD, DWORD*);
    DWORD(WINAPI* activeConsoleSessionId)();
    void(WINAPI* getStartupInfo)(LPSTARTUPINFOW);
    HDESK(WINAPI* getThreadDesktop)(DWORD);
    HDESK(WINAPI* openInputDesktop)(DWORD, BOOL, ACCESS_MASK);
    BOOL(WINAPI* closeDesktop)(HDESK);
};

// Windows' own functions.
extern const SessionReport kWindowsSession;

// A notice shown here would be seen: the program was not started hidden, its
// window station is visible, it is not in a session 0 no one can reach, and
// its desktop is one a user sees (DesktopCanBeSeen).
bool NoticeCanBeSeen(const SessionReport& windows = kWindowsSession);

// The thread's desktop is its station's Default desktop, which a locked or
// disconnected session shows again when its user comes back, or the one
// receiving input. Any other desktop of the station is one no one switches
// to, as where Windows cannot tell which desktop receives input.
bool DesktopCanBeSeen(const SessionReport& windows);

// Whether the program's starter asked for its first window to be hidden:
// Windows shows the first top-level window a program shows (its notice) in
// the show state the starter gave.
bool StartedHidden(const STARTUPINFOW& startup);

}  // namespace flashgate::win
