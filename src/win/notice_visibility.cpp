// The rules for a notice no one could see: a hidden start, a station no one
// can see, a session 0 no one can reach, a desktop no one switches to.
#include "win/notice_visibility.h"

namespace flashgate::win {
namespace {

// A desktop's name as Windows reports it, or none where it cannot say (or
// the name is longer than any Windows gives its desktops).
class DesktopName {
public:
    DesktopName(const SessionReport& windows, HDESK desktop) {
        known_ = desktop != nullptr &&
                 windows.getUserObjectInformation(desktop, UOI_NAME, name_, sizeof name_, nullptr);
    }

    // Desktop names are case-insensitive, as every name of Windows' objects is.
    bool Is(const wchar_t* other) const {
        return known_ && CompareStringOrdinal(name_, -1, other, -1, TRUE) == CSTR_EQUAL;
    }
    bool Is(const DesktopName& other) const { return other.known_ && Is(other.name_); }

private:
    wchar_t name_[MAX_PATH] = L"";
    bool known_ = false;
};

bool StationInvisible(const SessionReport& windows) {
    USEROBJECTFLAGS flags{};
    return windows.getUserObjectInformation(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE) == 0;
}

// Session 0 holds services and no user since Vista: an interactive service,
// or a tool that starts programs on session 0's own WinSta0\Default, runs on
// a station that calls itself visible, but no one can switch to its desktop.
// Where the console is session 0 itself (XP, Windows PE), notices there are
// seen; where Windows names no console session (0xFFFFFFFF, while one is
// being switched), the other rules decide.
bool InUnreachableSessionZero(const SessionReport& windows) {
    DWORD session = 0;
    if (!windows.processIdToSessionId(GetCurrentProcessId(), &session) || session != 0) {
        return false;
    }
    const DWORD console = windows.activeConsoleSessionId();
    return console != 0 && console != 0xFFFFFFFF;
}

}  // namespace

const SessionReport kWindowsSession{GetUserObjectInformationW, ProcessIdToSessionId, WTSGetActiveConsoleSessionId,
                                    GetStartupInfoW,           GetThreadDesktop,     OpenInputDesktop,
                                    CloseDesktop};

bool StartedHidden(const STARTUPINFOW& startup) {
    // SW_HIDE is the one documented show state that shows nothing. A value
    // beyond SW_MAX is none at all: ShowWindow refuses it
    // (ERROR_INVALID_SHOWWIN_COMMAND) and the window is never shown. Every
    // other state shows it, the minimised ones as a taskbar button.
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 &&
           (startup.wShowWindow == SW_HIDE || startup.wShowWindow > SW_MAX);
}

// Deployment and remote-support tools may start the program where no one
// will ever look: a message box there would hold the program, and the
// deployment with it, for ever.
bool NoticeCanBeSeen(const SessionReport& windows) {
    // A starter that asks for the program hidden (a script's Run with 0, a
    // deployment tool's hidden option) hides its notice with it: one that no
    // one sees, and that holds the program just the same.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    windows.getStartupInfo(&startup);
    return !StartedHidden(startup) && !StationInvisible(windows) && !InUnreachableSessionZero(windows) &&
           DesktopCanBeSeen(windows);
}

// A launcher may start the program on a private desktop of WinSta0
// (STARTUPINFO's lpDesktop) to keep installers' windows out of sight: the
// station is visible and the session the user's, but no one switches there.
bool DesktopCanBeSeen(const SessionReport& windows) {
    const HDESK desktop = windows.getThreadDesktop(GetCurrentThreadId());
    const DesktopName name(windows, desktop);
    if (name.Is(L"Default")) {
        return true;
    }
    // Windows says whether a desktop receives input (UOI_IO); where it does
    // not, the input desktop's name tells the same.
    BOOL receivesInput = FALSE;
    if (desktop != nullptr &&
        windows.getUserObjectInformation(desktop, UOI_IO, &receivesInput, sizeof receivesInput, nullptr)) {
        return receivesInput != FALSE;
    }
    const HDESK input = windows.openInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
    if (input == nullptr) {
        return false;
    }
    const bool receives = name.Is(DesktopName(windows, input));
    windows.closeDesktop(input);
    return receives;
}

}  // namespace flashgate::win
