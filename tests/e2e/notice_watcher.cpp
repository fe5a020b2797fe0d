// Starts the gate program and meets it the way a user would: finds its message
// box by process id, reads it, checks that the program waits on it, dismisses
// it, and writes what it saw to a report of key=value lines (UTF-8).
//
//   notice_watcher PROGRAM FOLDER DISMISS REPORT [PICTURE]
//
// PROGRAM is started in FOLDER. DISMISS is ok, escape, close (the close box)
// or user (someone at the display does it); or hidden: the program is started
// on a desktop of a window station no one can see, as a service would be. With PICTURE, the notice's screen
// rectangle is written to PICTURE.rect and the notice stays up until
// PICTURE.done exists (at most 15 s), so that the host can take a picture.
// If FLASHGATE_STANDIN_HOLD names a file, it exists while the program runs and
// is removed once it has ended, so that a started stand-in outlives the
// program exactly as long as needed.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "test_program_support.h"

namespace {

using flashgate::test::Accounting;
using flashgate::test::Environment;
using flashgate::test::WriteUtf8;

constexpr DWORD kPollMs = 50;
constexpr DWORD kProgramTimeoutMs = 20000;
constexpr DWORD kHeldCheckMs = 400;

struct Report {
    std::wstring text;
    void Add(const wchar_t* key, const std::wstring& value) {
        text += key;
        text += L'=';
        for (wchar_t c : value) {
            switch (c) {
            case L'\\': text += L"\\\\"; break;
            case L'\n': text += L"\\n"; break;
            case L'\r': text += L"\\r"; break;
            default: text += c;
            }
        }
        text += L'\n';
    }
    void Add(const wchar_t* key, unsigned long value) { Add(key, std::to_wstring(value)); }
    void Add(const wchar_t* key, bool value) { Add(key, std::wstring(value ? L"yes" : L"no")); }
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

// The window belongs to another process: WM_GETTEXT asks its own thread.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
        return L"<no answer>";
    }
    std::vector<wchar_t> text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    return std::wstring(text.data(), copied);
}

bool HasStyle(HWND window, LONG style) { return (GetWindowLongW(window, GWL_STYLE) & style) == style; }

struct ProgramWindows {
    DWORD processId;
    std::vector<HWND> notices;  // visible dialog windows (#32770)
    std::vector<HWND> others;   // any other visible top-level window
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto& found = *reinterpret_cast<ProgramWindows*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == found.processId && IsWindowVisible(window)) {
        (ClassOf(window) == L"#32770" ? found.notices : found.others).push_back(window);
    }
    return TRUE;
}

ProgramWindows WindowsOf(DWORD processId) {
    ProgramWindows found{processId, {}, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    reinterpret_cast<std::vector<HWND>*>(context)->push_back(child);
    return TRUE;
}

std::vector<HWND> ChildrenOf(HWND window) {
    std::vector<HWND> children;
    EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// A 32-bit top-down picture of a rectangle of the screen, or of something drawn.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<DWORD> data;
};

template <class Draw>
Pixels Render(int width, int height, Draw draw) {
    Pixels pixels{width, height, std::vector<DWORD>(static_cast<size_t>(width * height))};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HDC memory = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    draw(memory);
    GdiFlush();
    CopyMemory(pixels.data.data(), bits, pixels.data.size() * sizeof(DWORD));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

Pixels CaptureScreen(const RECT& area) {
    return Render(area.right - area.left, area.bottom - area.top, [&](HDC memory) {
        const HDC screen = GetDC(nullptr);
        BitBlt(memory, 0, 0, area.right - area.left, area.bottom - area.top, screen, area.left,
               area.top, SRCCOPY);
        ReleaseDC(nullptr, screen);
    });
}

Pixels DrawIconOn(HICON icon, int width, int height, int background) {
    return Render(width, height, [&](HDC memory) {
        const RECT all{0, 0, width, height};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(background)));
        DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
    });
}

bool Near(DWORD a, DWORD b) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference = static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff);
        if (difference > 12 || difference < -12) {
            return false;
        }
    }
    return true;
}

// Share of the icon's opaque pixels that the screen shows unchanged. Opaque
// pixels are those that come out the same on black and on white.
double IconMatch(const Pixels& screen, HICON icon) {
    const Pixels onBlack = DrawIconOn(icon, screen.width, screen.height, BLACK_BRUSH);
    const Pixels onWhite = DrawIconOn(icon, screen.width, screen.height, WHITE_BRUSH);
    size_t opaque = 0;
    size_t same = 0;
    for (size_t i = 0; i < screen.data.size(); ++i) {
        if (Near(onBlack.data[i], onWhite.data[i])) {
            ++opaque;
            if (Near(onBlack.data[i], screen.data[i])) {
                ++same;
            }
        }
    }
    return opaque == 0 ? 0.0 : static_cast<double>(same) / static_cast<double>(opaque);
}

// Icon handles are private to the process that loaded them, so the icon is
// recognised by what the screen shows against the system's own icons.
std::wstring IconShown(HWND iconControl) {
    struct Candidate {
        const wchar_t* name;
        LPCWSTR id;
    };
    const Candidate candidates[] = {{L"exclamation", IDI_EXCLAMATION},
                                    {L"hand", IDI_HAND},
                                    {L"asterisk", IDI_ASTERISK},
                                    {L"question", IDI_QUESTION}};
    RECT area{};
    GetClientRect(iconControl, &area);
    MapWindowPoints(iconControl, nullptr, reinterpret_cast<POINT*>(&area), 2);
    if (area.right <= area.left || area.bottom <= area.top) {
        return L"none";
    }
    // The notice may not be painted yet when it is first seen.
    for (int attempt = 0; attempt < 40; ++attempt) {
        const Pixels screen = CaptureScreen(area);
        for (const Candidate& candidate : candidates) {
            if (IconMatch(screen, LoadIconW(nullptr, candidate.id)) >= 0.95) {
                return candidate.name;
            }
        }
        Sleep(kPollMs);
    }
    return L"unrecognised";
}

// Hands the notice's place on the screen to whoever takes the picture (the
// host, from outside Wine) and waits until it is taken.
void AwaitPicture(HWND notice, const std::wstring& base) {
    RECT area{};
    GetWindowRect(notice, &area);
    const std::wstring rect = std::to_wstring(area.left) + L" " + std::to_wstring(area.top) + L" " +
                              std::to_wstring(area.right - area.left) + L" " +
                              std::to_wstring(area.bottom - area.top) + L"\n";
    const std::wstring done = base + L".done";
    DeleteFileW(done.c_str());
    WriteUtf8(base + L".rect", rect);
    for (DWORD waited = 0; waited < 15000; waited += kPollMs) {
        if (GetFileAttributesW(done.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return;
        }
        Sleep(kPollMs);
    }
}

// Reads the notice's title, text, buttons and icon.
void DescribeNotice(HWND notice, Report& report) {
    report.Add(L"title", TextOf(notice));
    std::wstring text;
    std::wstring buttons;
    std::wstring icon = L"none";
    unsigned long okButtons = 0;
    for (HWND child : ChildrenOf(notice)) {
        if (!HasStyle(child, WS_VISIBLE)) {
            continue;  // the message box keeps the buttons it does not offer, hidden
        }
        const std::wstring kind = ClassOf(child);
        if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
            buttons += (buttons.empty() ? L"" : L"|") + TextOf(child);
            if (GetDlgCtrlID(child) == IDOK) {
                ++okButtons;
            }
        } else if (lstrcmpiW(kind.c_str(), L"Static") == 0) {
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                icon = IconShown(child);
            } else if (const std::wstring line = TextOf(child); !line.empty()) {
                text += (text.empty() ? L"" : L"|") + line;
            }
        }
    }
    report.Add(L"text", text);
    report.Add(L"buttons", buttons);
    report.Add(L"ok_buttons", okButtons);
    report.Add(L"icon", icon);
}

// Dismisses the notice the way a user would; each ends in the dialog manager.
void Dismiss(HWND notice, const std::wstring& how) {
    if (how == L"ok") {
        if (const HWND ok = GetDlgItem(notice, IDOK)) {
            PostMessageW(ok, BM_CLICK, 0, 0);
        }
    } else if (how == L"escape") {
        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        const DWORD thread = GetWindowThreadProcessId(notice, nullptr);
        const HWND target = GetGUIThreadInfo(thread, &focus) && focus.hwndFocus ? focus.hwndFocus : notice;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    } else if (how == L"close") {
        PostMessageW(notice, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

bool WaitGone(HWND window, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += kPollMs) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return true;
        }
        Sleep(kPollMs);
    }
    return false;
}

int Usage() {
    const char text[] = "usage: notice_watcher PROGRAM FOLDER ok|escape|close|user REPORT [PICTURE]\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, sizeof text - 1, &written, nullptr);
    return 64;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 5 || argc > 6) {
        return Usage();
    }
    const std::wstring program = argv[1];
    const std::wstring folder = argv[2];
    const std::wstring dismiss = argv[3];
    const std::wstring reportPath = argv[4];
    const std::wstring picture = argc == 6 ? argv[5] : L"";
    if (dismiss != L"ok" && dismiss != L"escape" && dismiss != L"close" && dismiss != L"user" &&
        dismiss != L"hidden") {
        return Usage();
    }
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

    Report report;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Only WinSta0 is visible; a window station made here never is. A desktop
    // is made on the station it belongs to, so the watcher visits it briefly.
    wchar_t hiddenDesktop[] = L"flashgate-hidden\\Default";
    if (dismiss == L"hidden") {
        const HWINSTA visible = GetProcessWindowStation();
        SetProcessWindowStation(CreateWindowStationW(L"flashgate-hidden", 0, WINSTA_ALL_ACCESS, nullptr));
        CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        SetProcessWindowStation(visible);
        startup.lpDesktop = hiddenDesktop;
    }
    PROCESS_INFORMATION gate{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, folder.c_str(), &startup, &gate)) {
        report.Add(L"error", L"cannot start " + program + L": error " + std::to_wstring(GetLastError()));
        WriteUtf8(reportPath, report.text);
        return 1;
    }
    AssignProcessToJobObject(job, gate.hProcess);
    ResumeThread(gate.hThread);
    CloseHandle(gate.hThread);

    unsigned long notices = 0;
    std::vector<HWND> otherWindows;
    bool ended = false;
    for (DWORD waited = 0; byUser || waited < kProgramTimeoutMs; waited += kPollMs) {
        if (WaitForSingleObject(gate.hProcess, kPollMs) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        const ProgramWindows windows = WindowsOf(gate.dwProcessId);
        for (HWND other : windows.others) {
            if (std::find(otherWindows.begin(), otherWindows.end(), other) == otherWindows.end()) {
                otherWindows.push_back(other);
            }
        }
        if (windows.notices.empty()) {
            continue;
        }
        const HWND notice = windows.notices.front();
        if (++notices == 1) {
            DescribeNotice(notice, report);
            // Held: the program is still running a while after its notice showed.
            Sleep(kHeldCheckMs);
            report.Add(L"held", WaitForSingleObject(gate.hProcess, 0) == WAIT_TIMEOUT && IsWindow(notice));
            if (!picture.empty()) {
                AwaitPicture(notice, picture);
            }
        }
        if (byUser && notices == 1) {
            while (IsWindow(notice) && IsWindowVisible(notice)) {
                Sleep(kPollMs);
            }
            continue;
        }
        // A second notice is only counted and cleared away.
        Dismiss(notice, notices > 1 ? std::wstring(L"ok") : dismiss);
        if (!WaitGone(notice, 5000)) {
            report.Add(L"dismissed", false);
            break;
        }
    }
    report.Add(L"notices", notices);
    report.Add(L"other_windows", static_cast<unsigned long>(otherWindows.size()));

    DWORD exitCode = 0;
    if (ended && GetExitCodeProcess(gate.hProcess, &exitCode)) {
        report.Add(L"exit", exitCode);
    } else {
        report.Add(L"exit", std::wstring(L"still running"));
    }
    // The program itself is no longer active once it has ended.
    const JOBOBJECT_BASIC_ACCOUNTING_INFORMATION atEnd = Accounting(job);
    report.Add(L"started_processes", atEnd.TotalProcesses - 1);
    report.Add(L"running_at_end", atEnd.ActiveProcesses - (ended ? 0 : 1));

    if (!hold.empty()) {
        DeleteFileW(hold.c_str());
    }
    // Let a started stand-in finish its record and go.
    for (DWORD waited = 0; Accounting(job).ActiveProcesses > 0 && waited < 10000; waited += kPollMs) {
        Sleep(kPollMs);
    }
    TerminateJobObject(job, 1);
    CloseHandle(gate.hProcess);
    CloseHandle(job);
    return WriteUtf8(reportPath, report.text) ? 0 : 1;
}
