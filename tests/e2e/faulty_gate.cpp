// A flashgate.exe with exactly one fault, named by FLASHGATE_FAULT, to show
// that the self-test catches it and says what it saw. In all else it does
// what flashgate does on the board its row in tests/e2e/faults gives it: the
// notices' faults on a board that gets the wrong-model notice, the starts'
// on one that begins with "41". One value is not a fault but a way of
// Windows' that Wine lacks: click-ignored, a notice whose OK button does not
// take a click (BM_CLICK), as where the notice is not the active window.
#include <windows.h>

#include <string>

#include "handles.h"

namespace {

using flashgate::test::UniqueHandle;
using flashgate::test::UniqueProcessInformation;

constexpr wchar_t kText[] = L"This BIOS is not for your Notebook PC.";
constexpr wchar_t kTitle[] = L"WinPhlash";
constexpr UINT kStyle = MB_OK | MB_ICONEXCLAMATION;

int Notice(UINT style = kStyle, const wchar_t* text = kText, const wchar_t* title = kTitle) {
    MessageBoxW(nullptr, text, title, style);
    return 2;
}

// The start as the gate makes it, with what a fault changes.
struct Start {
    std::wstring application;  // empty: none, so that process creation searches
    std::wstring commandLine = L"WinPhlash.exe";
    DWORD flags = STARTF_USESHOWWINDOW;
    WORD show = SW_SHOWNORMAL;

    // Starts it; returns the new process, or none.
    UniqueProcessInformation Run() const {
        std::wstring writable = commandLine;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = flags;
        startup.wShowWindow = show;
        PROCESS_INFORMATION started{};
        if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), writable.data(), nullptr, nullptr,
                            FALSE, 0, nullptr, nullptr, &startup, &started)) {
            return {};
        }
        return UniqueProcessInformation(started);
    }

    // The gate's exit statuses: 0 started, 3 not.
    int RunAndEnd() const { return Run() ? 0 : 3; }
};

// This process's message box, once it is on the screen.
HWND AwaitNotice() {
    for (;;) {
        const HWND notice = FindWindowW(L"#32770", kTitle);
        DWORD owner = 0;
        GetWindowThreadProcessId(notice, &owner);
        if (notice != nullptr && owner == GetCurrentProcessId() && IsWindowVisible(notice)) {
            return notice;
        }
        Sleep(10);
    }
}

DWORD WINAPI NoticeThread(void*) { return static_cast<DWORD>(Notice()); }

// Dismisses this process's notice by itself, a moment after it came up.
DWORD WINAPI DismissSoon(void*) {
    const HWND notice = AwaitNotice();
    Sleep(300);
    PostMessageW(notice, WM_COMMAND, IDOK, 0);
    return 0;
}

// The message box's dialog (or its OK button) as it is made, with one kind of
// message swallowed.
WNDPROC original = nullptr;
bool swallowClicks = false;  // else the dialog's IDCANCEL, which Escape and the close box send

LRESULT CALLBACK Swallowing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (swallowClicks ? message == BM_CLICK : message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        return 0;
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
}

LRESULT CALLBACK OnActivate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && original == nullptr) {
        const HWND dialog = reinterpret_cast<HWND>(wParam);
        const HWND target = swallowClicks ? GetDlgItem(dialog, IDOK) : dialog;
        original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(target, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Swallowing)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int NoticeSwallowing(bool clicks) {
    swallowClicks = clicks;
    SetWindowsHookExW(WH_CBT, OnActivate, nullptr, GetCurrentThreadId());
    return Notice();
}

// How this program was started: the flags and show state its starter gave.
STARTUPINFOW OwnStart() {
    STARTUPINFOW own{};
    own.cb = sizeof own;
    GetStartupInfoW(&own);
    return own;
}

// Whether this program runs on its station's Default desktop.
bool OnDefaultDesktop() {
    wchar_t name[MAX_PATH] = L"";
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name - sizeof name[0],
                              nullptr);
    return CompareStringOrdinal(name, -1, L"Default", -1, TRUE) == CSTR_EQUAL;
}

// Starts `count` copies of this program that end at once, before they run:
// each is in the self-test's job for a moment too short for it to look.
void StartEndingAtOnce(int count) {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    for (int i = 0; i < count; ++i) {
        std::wstring commandLine = L"flashgate.exe";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        if (CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                           &startup, &started)) {
            const UniqueProcessInformation copy(started);
            TerminateProcess(copy.process(), 0);
            WaitForSingleObject(copy.process(), INFINITE);
        }
    }
}

std::wstring CurrentFolder() {
    wchar_t folder[MAX_PATH] = L"";
    return std::wstring(folder, GetCurrentDirectoryW(MAX_PATH, folder));
}

// Three, so that the self-test's look, every 50 ms, catches all of them in
// no run: the count it gives must come from the job's own.
constexpr int kEndingAtOnce = 3;

struct Fault {
    const wchar_t* name;
    int (*run)();
};

const Fault kFaults[] = {
    // The notice
    {L"wrong-title", [] { return Notice(kStyle, kText, L"Winphlash"); }},
    {L"text-off", [] { return Notice(kStyle, L"This BIOS is not for your Notebook PC"); }},
    {L"icon-hand", [] { return Notice(MB_OK | MB_ICONHAND); }},
    {L"two-buttons", [] { return Notice(MB_OKCANCEL | MB_ICONEXCLAMATION); }},
    {L"no-ok-button", [] { return Notice(MB_YESNO | MB_ICONEXCLAMATION); }},
    {L"cannot-escape", [] { return NoticeSwallowing(false); }},
    {L"click-ignored", [] { return NoticeSwallowing(true); }},
    {L"ends-while-up",
     [] {
         const UniqueHandle thread(CreateThread(nullptr, 0, NoticeThread, nullptr, 0, nullptr));
         AwaitNotice();
         Sleep(300);
         return 2;  // and the notice goes with the program
     }},
    {L"returns-at-once",
     [] {
         const UniqueHandle thread(CreateThread(nullptr, 0, DismissSoon, nullptr, 0, nullptr));
         return Notice();
     }},
    {L"lingers",
     [] {
         Notice();
         Sleep(60000);
         return 2;
     }},
    {L"notice-status",
     [] {
         Notice();
         return 1;
     }},
    {L"two-notices",
     [] {
         Notice();
         return Notice();
     }},
    {L"unseen-notice", [] { return Notice(); }},         // shown whatever the window station
    {L"ignores-hidden-start", [] { return Notice(); }},  // shown however it was started
    {L"notice-on-private-desktop", [] { return Notice(); }},  // shown on any desktop
    {L"hidden-when-minimised",  // any show state asked for taken for a hidden start
     [] {
         const STARTUPINFOW own = OwnStart();
         return (own.dwFlags & STARTF_USESHOWWINDOW) != 0 && own.wShowWindow != SW_SHOWNORMAL ? 2 : Notice();
     }},
    {L"own-window",
     [] {
         CreateWindowExW(0, L"STATIC", L"flashgate", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                         nullptr);
         return Notice();
     }},
    {L"notice-and-start",
     [] {
         Start().RunAndEnd();
         return Notice();
     }},
    {L"start-by-child",  // a copy of the program starts WinPhlash.exe
     [] {
         SetEnvironmentVariableW(L"FLASHGATE_FAULT", L"start-and-stay");
         wchar_t self[MAX_PATH] = L"";
         GetModuleFileNameW(nullptr, self, MAX_PATH);
         Start child;
         child.application = self;
         child.commandLine = L"flashgate.exe";
         child.RunAndEnd();
         return Notice();
     }},
    {L"start-ends-at-once",  // starts something that is gone before anyone could look
     [] {
         StartEndingAtOnce(kEndingAtOnce);
         return Notice();
     }},
    {L"start-and-stay",
     [] {
         const int status = Start().RunAndEnd();
         Sleep(2000);
         return status;
     }},
    // The start
    {L"start-status",
     [] {
         Start().RunAndEnd();
         return 1;
     }},
    {L"not-started-status",
     [] {
         Start().RunAndEnd();
         return 0;
     }},
    {L"notice-when-not-found",
     [] {
         if (Start().RunAndEnd() == 3) {
             Notice();
         }
         return 3;
     }},
    {L"start-and-notice",
     [] {
         const int status = Start().RunAndEnd();
         Notice();
         return status;
     }},
    {L"second-start-ends-at-once",
     [] {
         const int status = Start().RunAndEnd();
         StartEndingAtOnce(kEndingAtOnce);
         return status;
     }},
    {L"no-start-on-private-desktop",  // a desktop no one switches to taken for one where no start may be made
     [] { return OnDefaultDesktop() ? Start().RunAndEnd() : 3; }},
    {L"starts-twice",
     [] {
         Start().RunAndEnd();
         return Start().RunAndEnd();
     }},
    {L"argument",
     [] {
         Start start;
         start.commandLine = L"WinPhlash.exe /silent";
         return start.RunAndEnd();
     }},
    {L"from-current",
     [] {
         Start start;
         start.application = CurrentFolder() + L"\\WinPhlash.exe";
         return start.RunAndEnd();
     }},
    {L"hidden",
     [] {
         Start start;
         start.show = SW_HIDE;
         return start.RunAndEnd();
     }},
    {L"inherits-show",  // the flash utility started in the show state this program was given
     [] {
         const STARTUPINFOW own = OwnStart();
         Start start;
         start.flags = own.dwFlags & STARTF_USESHOWWINDOW;
         start.show = own.wShowWindow;
         return start.RunAndEnd();
     }},
    {L"no-show-flag",
     [] {
         Start start;
         start.flags = 0;
         return start.RunAndEnd();
     }},
    {L"waits",
     [] {
         const UniqueProcessInformation started = Start().Run();
         WaitForSingleObject(started.process(), INFINITE);
         return started ? 0 : 3;
     }},
    {L"ends-utility",
     [] {
         const UniqueProcessInformation started = Start().Run();
         Sleep(300);
         TerminateProcess(started.process(), 1);
         WaitForSingleObject(started.process(), INFINITE);
         return started ? 0 : 3;
     }},
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    wchar_t fault[32] = L"";
    GetEnvironmentVariableW(L"FLASHGATE_FAULT", fault, ARRAYSIZE(fault));
    for (const Fault& known : kFaults) {
        if (std::wstring(fault) == known.name) {
            return known.run();
        }
    }
    return 64;  // no such fault: the row is wrong, and the self-test says so
}
