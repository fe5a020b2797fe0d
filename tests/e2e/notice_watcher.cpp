// Starts the gate program and meets it the way a user would: finds its message
// box by process id, reads it, checks that the program waits on it, dismisses
// it, and writes what it saw to a report of key=value lines (UTF-8).
//
//   notice_watcher PROGRAM FOLDER DISMISS REPORT [PICTURE]
//
// PROGRAM is started in FOLDER. DISMISS is ok, escape, close (the close box),
// user (someone at the display), or hidden: started on a window station no
// one can see, as a service would be. With PICTURE, the notice's rectangle is
// written to PICTURE.rect and the notice stays up until PICTURE.done exists
// (at most 15 s) for the host to take a picture. While the program runs, the
// file FLASHGATE_STANDIN_HOLD names exists, so that a started stand-in lives on.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "test_program_support.h"

namespace {

using flashgate::test::Accounting;
using flashgate::test::Environment;
using flashgate::test::WriteUtf8;

constexpr DWORD kPollMs = 50;
constexpr DWORD kProgramTimeoutMs = 20000;

struct Report {
    std::wstring text;
    void Add(const wchar_t* key, const std::wstring& value) { text += key + (L"=" + value) + L"\n"; }
    void Add(const wchar_t* key, unsigned long value) { Add(key, std::to_wstring(value)); }
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

// The window belongs to another process: WM_GETTEXT asks its own thread.
std::wstring TextOf(HWND window) {
    wchar_t text[512] = L"";
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    return std::wstring(text, copied);
}

// The visible top-level windows of a process (message boxes are #32770), or
// the visible child windows of one of them.
std::vector<HWND> WindowsOf(DWORD processId, HWND parent = nullptr) {
    std::pair<DWORD, std::vector<HWND>> search{processId, {}};
    const WNDENUMPROC collect = [](HWND window, LPARAM context) -> BOOL CALLBACK {
        auto& [owner, found] = *reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == owner && IsWindowVisible(window)) {
            found.push_back(window);
        }
        return TRUE;
    };
    if (parent != nullptr) {
        EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&search));
    } else {
        EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    }
    return search.second;
}

// Icon handles are private to the process that loaded them, so the icon is
// recognised by what the screen shows: the exclamation icon is the one with a
// yellow triangle (a sixth of its square here), where the hand is red and the
// others are blue, without a yellow pixel.
std::wstring IconShown(HWND iconControl) {
    RECT area{};
    GetClientRect(iconControl, &area);
    MapWindowPoints(iconControl, nullptr, reinterpret_cast<POINT*>(&area), 2);
    const HDC screen = GetDC(nullptr);
    const long size = (area.right - area.left) * (area.bottom - area.top);
    long yellow = 0;
    // The notice may not be painted yet when it is first seen.
    for (int attempt = 0; attempt < 40 && yellow * 10 < size; ++attempt, Sleep(kPollMs)) {
        yellow = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                const COLORREF c = GetPixel(screen, x, y);
                yellow += GetRValue(c) > 200 && GetGValue(c) > 150 && GetBValue(c) < 100 ? 1 : 0;
            }
        }
    }
    ReleaseDC(nullptr, screen);
    return size <= 0 ? L"none" : yellow * 10 >= size ? L"exclamation" : L"other";
}

// Hands the notice's place on the screen to whoever takes the picture (the
// host, from outside Wine) and waits until it is taken.
void AwaitPicture(HWND notice, const std::wstring& base) {
    RECT r{};
    GetWindowRect(notice, &r);
    const std::wstring done = base + L".done";
    DeleteFileW(done.c_str());
    WriteUtf8(base + L".rect", std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
                                   std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top) + L"\n");
    for (DWORD waited = 0; waited < 15000 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs) {
        Sleep(kPollMs);
    }
}

// Reads the notice's title, text, buttons (with the id of any that is not
// IDOK) and icon. The message box keeps the buttons it does not offer,
// hidden, so only visible children count.
void DescribeNotice(HWND notice, DWORD processId, Report& report) {
    std::wstring text, buttons, icon = L"none";
    for (HWND child : WindowsOf(processId, notice)) {
        const std::wstring kind = ClassOf(child);
        if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
            // Escape and the close box end a message box by IDOK only if OK has that id.
            const int id = GetDlgCtrlID(child);
            buttons += (buttons.empty() ? L"" : L"|") + TextOf(child) + (id == IDOK ? L"" : L"#" + std::to_wstring(id));
        } else if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            icon = IconShown(child);
        } else if (lstrcmpiW(kind.c_str(), L"Static") == 0 && !TextOf(child).empty()) {
            text += (text.empty() ? L"" : L"|") + TextOf(child);
        }
    }
    report.Add(L"title", TextOf(notice));
    report.Add(L"text", text);
    report.Add(L"buttons", buttons);
    report.Add(L"icon", icon);
}

// Dismisses the notice the way a user would; each ends in the dialog manager.
void Dismiss(HWND notice, const std::wstring& how) {
    if (how == L"ok") {
        PostMessageW(GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
    } else if (how == L"escape") {
        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        GetGUIThreadInfo(GetWindowThreadProcessId(notice, nullptr), &focus);
        const HWND target = focus.hwndFocus != nullptr ? focus.hwndFocus : notice;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    } else if (how == L"close") {
        PostMessageW(notice, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

bool Gone(HWND window, DWORD timeoutMs) {
    for (DWORD waited = 0; IsWindow(window) && IsWindowVisible(window); waited += kPollMs, Sleep(kPollMs)) {
        if (waited >= timeoutMs) {
            return false;
        }
    }
    return true;
}

// Wine starts a desktop's process when a program first needs that desktop:
// this thread needs it first, so that the process stays out of the job.
DWORD WINAPI VisitDesktop(void* desktop) {
    SetThreadDesktop(static_cast<HDESK>(desktop));
    GetDesktopWindow();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::set<std::wstring> modes{L"ok", L"escape", L"close", L"user", L"hidden"};
    if (argc < 5 || argc > 6 || modes.count(argv[3]) == 0) {
        return 64;  // usage: see the head of this file
    }
    const std::wstring program = argv[1], dismiss = argv[3], picture = argc == 6 ? argv[5] : L"";
    const bool byUser = dismiss == L"user";

    // Wine starts its desktop process when a program first needs it; started
    // from here, it stays out of the job below and is not counted or ended.
    GetDesktopWindow();
    // Everything the program starts joins this job, so that a started process
    // can be counted, and nothing outlives the watcher.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);

    const std::wstring hold = Environment(L"FLASHGATE_STANDIN_HOLD");
    if (!hold.empty()) {
        WriteUtf8(hold, L"hold\n");
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Only WinSta0 is visible; a window station made here never is. A desktop
    // is made on the station the process is on, so the watcher visits it.
    wchar_t hiddenDesktop[] = L"flashgate-hidden\\Default";
    if (dismiss == L"hidden") {
        const HWINSTA visible = GetProcessWindowStation();
        SetProcessWindowStation(CreateWindowStationW(L"flashgate-hidden", 0, WINSTA_ALL_ACCESS, nullptr));
        const HANDLE visitor = CreateThread(nullptr, 0, VisitDesktop,
                                            CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr), 0, nullptr);
        WaitForSingleObject(visitor, INFINITE);
        CloseHandle(visitor);
        SetProcessWindowStation(visible);
        startup.lpDesktop = hiddenDesktop;
    }
    Report report;
    std::wstring commandLine = L"\"" + program + L"\"";
    PROCESS_INFORMATION gate{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, argv[2], &startup, &gate)) {
        report.Add(L"error", L"cannot start " + program + L": error " + std::to_wstring(GetLastError()));
        WriteUtf8(argv[4], report.text);
        return 1;
    }
    AssignProcessToJobObject(job, gate.hProcess);
    ResumeThread(gate.hThread);
    CloseHandle(gate.hThread);

    unsigned long notices = 0;
    std::set<HWND> otherWindows;
    bool ended = false;
    for (DWORD waited = 0; byUser || waited < kProgramTimeoutMs; waited += kPollMs) {
        if (WaitForSingleObject(gate.hProcess, kPollMs) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        HWND notice = nullptr;
        for (HWND window : WindowsOf(gate.dwProcessId)) {
            if (ClassOf(window) != L"#32770") {
                otherWindows.insert(window);
            } else if (notice == nullptr) {
                notice = window;
            }
        }
        if (notice == nullptr) {
            continue;
        }
        if (++notices == 1) {
            DescribeNotice(notice, gate.dwProcessId, report);
            // Held: the program is still running a while after its notice showed.
            Sleep(400);
            report.Add(L"held", WaitForSingleObject(gate.hProcess, 0) == WAIT_TIMEOUT && IsWindow(notice) ? L"yes" : L"no");
            if (!picture.empty()) {
                AwaitPicture(notice, picture);
            }
        }
        if (byUser && notices == 1) {
            Gone(notice, INFINITE);
            continue;
        }
        // A second notice is only counted and cleared away.
        Dismiss(notice, notices > 1 ? L"ok" : dismiss);
        if (!Gone(notice, 5000)) {
            report.Add(L"dismissed", L"no");
            break;
        }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(gate.hProcess, &exitCode);
    // The program itself is no longer active once it has ended.
    const JOBOBJECT_BASIC_ACCOUNTING_INFORMATION atEnd = Accounting(job);
    report.Add(L"notices", notices);
    report.Add(L"other_windows", static_cast<unsigned long>(otherWindows.size()));
    report.Add(L"exit", ended ? std::to_wstring(exitCode) : L"still running");
    report.Add(L"started_processes", atEnd.TotalProcesses - 1);
    report.Add(L"running_at_end", atEnd.ActiveProcesses - (ended ? 0 : 1));

    // Let a started stand-in finish its record and go.
    DeleteFileW(hold.c_str());
    for (DWORD waited = 0; Accounting(job).ActiveProcesses > 0 && waited < 10000; waited += kPollMs) {
        Sleep(kPollMs);
    }
    TerminateJobObject(job, 1);
    return WriteUtf8(argv[4], report.text) ? 0 : 1;
}
