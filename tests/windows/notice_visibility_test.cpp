// Where no one could see a notice, through stand-ins for what Windows
// reports: sessions, which Wine has none of; a start that asks for the
// program hidden, which Wine does not apply to a message box; and desktops,
// whose receiving input Wine does not report (UOI_IO). With no one to see a
// notice, no one answers a consent prompt either.
#include <gtest/gtest.h>

#include <string>

#include "win/windows_gate.h"

namespace flashgate::win {
namespace {

// What Windows reports of the station, the sessions, the program's start and
// its desktops, as a test sets it.
struct WindowsSessions {
    enum Station { Visible, Invisible, Unknown };
    static inline Station station = Visible;
    static inline DWORD session = 1;  // kUnknown: ProcessIdToSessionId fails
    static inline DWORD console = 1;
    static constexpr DWORD kUnknown = 0xFFFFFFFE;
    static inline DWORD startFlags = 0;
    static inline WORD showState = SW_SHOWDEFAULT;
    // The thread's desktop and the input desktop: a name (empty where
    // Windows cannot say), and for the thread's, whether it receives input.
    enum Input { Receives, DoesNot, CannotSay };
    static inline std::wstring threadDesktop = L"Default", inputDesktop = L"Default";
    static inline Input receivesInput = CannotSay;
    static inline int inputDesktopsOpen = 0;

    static HDESK ThreadDesktop() { return reinterpret_cast<HDESK>(0x7410); }
    static HDESK InputDesktop() { return reinterpret_cast<HDESK>(0x7420); }

    static void Reset() {
        station = Visible;
        session = console = 1;
        startFlags = 0;
        showState = SW_SHOWDEFAULT;
        threadDesktop = inputDesktop = L"Default";
        receivesInput = CannotSay;
    }

    static BOOL Fail() {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    static BOOL Name(const std::wstring& name, PVOID info, DWORD size) {
        if (name.empty()) {
            return Fail();
        }
        if ((name.size() + 1) * sizeof(wchar_t) > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        name.copy(static_cast<wchar_t*>(info), name.size());
        static_cast<wchar_t*>(info)[name.size()] = L'\0';
        return TRUE;
    }
    static BOOL WINAPI GetUserObjectInformationW(HANDLE object, int index, PVOID info, DWORD size, LPDWORD) {
        if (object == GetProcessWindowStation() && index == UOI_FLAGS && size >= sizeof(USEROBJECTFLAGS)) {
            if (station == Unknown) {
                return Fail();
            }
            *static_cast<USEROBJECTFLAGS*>(info) = {FALSE, FALSE, station == Visible ? DWORD{WSF_VISIBLE} : 0};
            return TRUE;
        }
        if (object == ThreadDesktop() && index == UOI_NAME) {
            return Name(threadDesktop, info, size);
        }
        if (object == ThreadDesktop() && index == UOI_IO && size >= sizeof(BOOL) && receivesInput != CannotSay) {
            *static_cast<BOOL*>(info) = receivesInput == Receives;
            return TRUE;
        }
        if (object == InputDesktop() && inputDesktopsOpen > 0 && index == UOI_NAME) {
            return Name(inputDesktop, info, size);
        }
        return Fail();
    }
    static BOOL WINAPI ProcessIdToSessionId(DWORD, DWORD* id) {
        if (session == kUnknown) {
            return FALSE;  // and writes nothing
        }
        *id = session;
        return TRUE;
    }
    static DWORD WINAPI WTSGetActiveConsoleSessionId() { return console; }
    static void WINAPI GetStartupInfoW(LPSTARTUPINFOW startup) {
        *startup = STARTUPINFOW{};
        startup->cb = sizeof *startup;
        startup->dwFlags = startFlags;
        startup->wShowWindow = showState;
    }
    static HDESK WINAPI GetThreadDesktop(DWORD thread) {
        return thread == GetCurrentThreadId() ? ThreadDesktop() : nullptr;
    }
    // The input desktop opens where its name is known: the secure desktop
    // and Winlogon's refuse a user's program.
    static HDESK WINAPI OpenInputDesktop(DWORD, BOOL, ACCESS_MASK) {
        if (inputDesktop.empty()) {
            SetLastError(ERROR_ACCESS_DENIED);
            return nullptr;
        }
        ++inputDesktopsOpen;
        return InputDesktop();
    }
    static BOOL WINAPI CloseDesktop(HDESK desktop) {
        inputDesktopsOpen -= desktop == InputDesktop() ? 1 : 0;
        return desktop == InputDesktop();
    }
};

const SessionReport kStandInWindows{WindowsSessions::GetUserObjectInformationW,
                                    WindowsSessions::ProcessIdToSessionId,
                                    WindowsSessions::WTSGetActiveConsoleSessionId,
                                    WindowsSessions::GetStartupInfoW,
                                    WindowsSessions::GetThreadDesktop,
                                    WindowsSessions::OpenInputDesktop,
                                    WindowsSessions::CloseDesktop};

class NoticeSession : public ::testing::Test {
protected:
    void SetUp() override { WindowsSessions::Reset(); }
    void TearDown() override { EXPECT_EQ(WindowsSessions::inputDesktopsOpen, 0) << "an input desktop left open"; }
};

// A notice can be seen on a visible station (or one that cannot say), unless
// the program runs in session 0 and Windows names another session as the
// console's: there no one can reach session 0's desktop. No console session
// named (0xFFFFFFFF, a switch under way) leaves the station to decide, and a
// console in session 0 (XP, Windows PE) sees its notices.
TEST_F(NoticeSession, OnlyAVisibleStationOutsideAnUnreachableSessionZeroCanShowANotice) {
    for (const auto station : {WindowsSessions::Visible, WindowsSessions::Invisible, WindowsSessions::Unknown}) {
        for (const DWORD session : {DWORD{0}, DWORD{1}, DWORD{2}, WindowsSessions::kUnknown}) {
            for (const DWORD console : {DWORD{0}, DWORD{1}, DWORD{2}, DWORD{0xFFFFFFFF}}) {
                WindowsSessions::station = station;
                WindowsSessions::session = session;
                WindowsSessions::console = console;
                const bool unreachableSessionZero = session == 0 && console != 0 && console != 0xFFFFFFFF;
                EXPECT_EQ(NoticeCanBeSeen(kStandInWindows), station != WindowsSessions::Invisible && !unreachableSessionZero)
                    << "station " << station << ", session " << session << ", console " << console;
            }
        }
    }
}

// Windows shows a program's first top-level window in the show state its
// starter gave (STARTF_USESHOWWINDOW): a notice started hidden is one no one
// sees. SW_HIDE hides it, and so does a state beyond SW_MAX, which ShowWindow
// refuses; every other shows it, the minimised ones as a taskbar button,
// which the user can click. Without the flag the state is not used at all.
TEST_F(NoticeSession, OnlyAStartAskedForHiddenHidesTheNotice) {
    for (const DWORD flags : {DWORD{0}, DWORD{STARTF_USESHOWWINDOW}, DWORD{STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES}}) {
        for (WORD show = 0; show <= 16; ++show) {
            WindowsSessions::startFlags = flags;
            WindowsSessions::showState = show;
            const bool hidden = (flags & STARTF_USESHOWWINDOW) != 0 && (show == SW_HIDE || show > SW_FORCEMINIMIZE);
            EXPECT_EQ(NoticeCanBeSeen(kStandInWindows), !hidden) << "flags " << flags << ", show state " << show;
        }
    }
}

// The station's Default desktop always shows its notice: a locked or
// disconnected session's user comes back to it. Any other desktop shows it
// only while it receives input, as Windows says (UOI_IO) or, where it cannot
// say, as the input desktop's name tells; where neither is known, it is one
// no one switches to. Names are compared as Windows compares them, whatever
// their case.
TEST_F(NoticeSession, ADesktopShowsANoticeWhereItIsDefaultOrReceivesInput) {
    using S = WindowsSessions;
    for (const std::wstring thread : {L"Default", L"DEFAULT", L"flashgate-private", L""}) {
        for (const auto input : {S::Receives, S::DoesNot, S::CannotSay}) {
            for (const std::wstring inputName : {L"Default", L"flashgate-private", L"FLASHGATE-PRIVATE", L""}) {
                S::threadDesktop = thread;
                S::receivesInput = input;
                S::inputDesktop = inputName;
                const bool isDefault = thread == L"Default" || thread == L"DEFAULT";
                const bool inputIsThis = !thread.empty() && !inputName.empty() &&
                                         CompareStringOrdinal(thread.c_str(), -1, inputName.c_str(), -1, TRUE) == CSTR_EQUAL;
                const bool seen = isDefault || input == S::Receives || (input == S::CannotSay && inputIsThis);
                EXPECT_EQ(NoticeCanBeSeen(kStandInWindows), seen)
                    << "desktop \"" << std::string(thread.begin(), thread.end()) << "\", input " << input
                    << ", input desktop \"" << std::string(inputName.begin(), inputName.end()) << "\"";
            }
        }
    }
}

// A desktop name longer than the program's buffer is none it could match.
TEST_F(NoticeSession, ADesktopNameThatDoesNotFitIsNoDefault) {
    WindowsSessions::threadDesktop = std::wstring(MAX_PATH, L'd');
    WindowsSessions::inputDesktop = WindowsSessions::threadDesktop;
    EXPECT_FALSE(DesktopCanBeSeen(kStandInWindows));
    WindowsSessions::threadDesktop = std::wstring(MAX_PATH - 1, L'd');
    WindowsSessions::inputDesktop = WindowsSessions::threadDesktop;
    EXPECT_TRUE(DesktopCanBeSeen(kStandInWindows));
}

// The shell's start as a test sees it: asked or not, never starting anything.
struct ConsentShell {
    static inline int asked = 0;
    static BOOL WINAPI ShellExecuteExW(SHELLEXECUTEINFOW*) {
        ++asked;
        return TRUE;
    }
    static BOOL WINAPI SetForegroundWindow(HWND) { return TRUE; }
    static DWORD FinalPathOf(const wchar_t*, wchar_t*, DWORD) { return 0; }
};

// Wherever no one could see a notice (a hidden start, a station no one sees,
// a session 0 no one reaches, a desktop no one switches to), no one could
// answer a consent prompt: the shell is never asked, and the start fails, so
// that the program ends with 3. Where one could, it is asked. The file is
// this suite, found in its own folder; the stand-in starts nothing.
TEST_F(NoticeSession, NoConsentIsAskedWhereNoOneCouldSeeTheRequest) {
    using S = WindowsSessions;
    const ShellFunctions shell{ConsentShell::ShellExecuteExW, ConsentShell::SetForegroundWindow, ConsentShell::FinalPathOf};
    wchar_t self[MAX_PATH] = L"";
    const std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    const struct {
        const char* where;
        void (*set)();
    } causes[] = {
        {"seen", [] {}},
        {"started hidden", [] { S::startFlags = STARTF_USESHOWWINDOW, S::showState = SW_HIDE; }},
        {"a station no one sees", [] { S::station = S::Invisible; }},
        {"session 0", [] { S::session = 0, S::console = 1; }},
        {"a private desktop", [] { S::threadDesktop = L"flashgate-private", S::receivesInput = S::DoesNot; }},
    };
    for (const auto& cause : causes) {
        S::Reset();
        cause.set();
        ConsentShell::asked = 0;
        const bool seen = std::string(cause.where) == "seen";
        const HRESULT started = StartAskingConsent(name.c_str(), SW_SHOWNORMAL, kStandInWindows, shell);
        EXPECT_EQ(started, seen ? S_OK : HRESULT_FROM_WIN32(ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION)) << cause.where;
        EXPECT_EQ(ConsentShell::asked, seen ? 1 : 0) << cause.where;
    }
}

}  // namespace
}  // namespace flashgate::win
