// Meeting the program as a user would, through the same window functions a
// person's clicks and keys end up in.
#include "selftest/meeting.h"

#include <set>
#include <vector>

#include "selftest/machine.h"
#include "selftest/program_support.h"

namespace flashgate::selftest {
namespace {

using test::Accounting;

constexpr DWORD kPollMs = 50;
constexpr DWORD kAfterStandInLimitMs = 10000;   // from the stand-in's start to the program's end
constexpr DWORD kDismissLimitMs = 5000;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = L"";
    GetClassNameW(window, name, ARRAYSIZE(name));
    return name;
}

// The window belongs to another process: WM_GETTEXT asks its own thread.
std::wstring TextOf(HWND window) {
    wchar_t text[512] = L"";
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                        &copied);
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

// How many pixels of `area` in `dc` are the exclamation icon's yellow.
long YellowPixels(HDC dc, const RECT& area) {
    long yellow = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF c = GetPixel(dc, x, y);
            yellow += GetRValue(c) > 200 && GetGValue(c) > 150 && GetBValue(c) < 100 ? 1 : 0;
        }
    }
    return yellow;
}

// The exclamation icon is the one with a yellow triangle (a sixth of its
// square or more), where the hand is red and the others are blue, without a
// yellow pixel. On Windows an icon handle serves every process of the
// session, so the icon is drawn here, whatever the screen shows; Wine keeps
// an icon's image in the process that loaded it, so there it is read off the
// screen.
std::wstring IconShown(HWND iconControl) {
    RECT area{};
    GetClientRect(iconControl, &area);
    const long size = (area.right - area.left) * (area.bottom - area.top);
    if (size <= 0) {
        return L"none";
    }
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
    // Pixels are counted in a bitmap of our own: one from the screen is
    // taken in one piece, not asked for pixel by pixel.
    const HDC screen = GetDC(nullptr);
    const HDC canvas = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
    const HGDIOBJ previous = SelectObject(canvas, bitmap);
    PatBlt(canvas, 0, 0, area.right, area.bottom, WHITENESS);
    long yellow = -1;
    if (icon != 0 &&
        DrawIconEx(canvas, 0, 0, reinterpret_cast<HICON>(icon), area.right, area.bottom, 0, nullptr, DI_NORMAL)) {
        yellow = YellowPixels(canvas, area);
    } else {
        POINT onScreen{0, 0};
        MapWindowPoints(iconControl, nullptr, &onScreen, 1);
        // The notice may not be painted yet when it is first seen.
        for (int attempt = 0; attempt < 40 && yellow * 10 < size; ++attempt, Sleep(kPollMs)) {
            BitBlt(canvas, 0, 0, area.right, area.bottom, screen, onScreen.x, onScreen.y, SRCCOPY);
            yellow = YellowPixels(canvas, area);
        }
    }
    SelectObject(canvas, previous);
    DeleteObject(bitmap);
    DeleteDC(canvas);
    ReleaseDC(nullptr, screen);
    return yellow * 10 >= size ? L"exclamation" : L"other";
}

// Reads the notice's title, text, buttons and icon. The message box keeps
// the buttons it does not offer, hidden, so only visible children count. A
// button is its text and, unless it is OK's (IDOK), its id: the text is the
// Windows language's, the id is what Escape and the close box end the box by.
NoticeSeen DescribeNotice(HWND notice, DWORD processId) {
    NoticeSeen seen;
    seen.icon = L"none";
    for (HWND child : WindowsOf(processId, notice)) {
        const std::wstring kind = ClassOf(child);
        if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
            const int id = GetDlgCtrlID(child);
            seen.buttons += (seen.buttons.empty() ? L"" : L"|") + (id == IDOK ? L"OK" : TextOf(child) + L"#" + std::to_wstring(id));
        } else if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            seen.icon = IconShown(child);
        } else if (lstrcmpiW(kind.c_str(), L"Static") == 0 && !TextOf(child).empty()) {
            seen.text += (seen.text.empty() ? L"" : L"|") + TextOf(child);
        }
    }
    seen.title = TextOf(notice);
    return seen;
}

// Hands the notice's place on the screen to whoever takes its picture (a
// script outside Wine, say) and waits until it is taken, or the notice has
// gone, for at most a minute.
void HoldForPicture(HWND notice, const std::wstring& base) {
    RECT r{};
    GetWindowRect(notice, &r);
    const std::wstring done = base + L".done";
    DeleteFileW(done.c_str());
    test::WriteUtf8(base + L".rect", std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
                                         std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top) + L"\n");
    for (DWORD waited = 0; waited < 60000 && IsWindow(notice) && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs) {
        Sleep(kPollMs);
    }
}

// Dismisses the notice the way a user would; each ends in the dialog manager.
void Dismiss(HWND notice, Dismissal how) {
    if (how == Dismissal::Escape) {
        GUITHREADINFO focus{};
        focus.cbSize = sizeof focus;
        GetGUIThreadInfo(GetWindowThreadProcessId(notice, nullptr), &focus);
        const HWND target = focus.hwndFocus != nullptr ? focus.hwndFocus : notice;
        PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageW(target, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    } else if (how == Dismissal::Close) {
        PostMessageW(notice, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
        PostMessageW(GetDlgItem(notice, IDOK), BM_CLICK, 0, 0);
    }
}

// Adds the file name of each process now in the job but the program itself,
// once; Wine's desktop processes among them go to wineDesktops instead.
void NoteStartedProcesses(HANDLE job, DWORD programId, std::wstring& names, std::set<DWORD>& wineDesktops) {
    struct {
        JOBOBJECT_BASIC_PROCESS_ID_LIST list;
        ULONG_PTR more[63];
    } ids{};
    ids.list.NumberOfAssignedProcesses = 64;
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) {
        return;
    }
    for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
        const DWORD id = static_cast<DWORD>(ids.list.ProcessIdList[i]);
        const HANDLE process = id == programId ? nullptr : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (process == nullptr) {
            continue;
        }
        wchar_t path[MAX_PATH] = L"";
        DWORD length = MAX_PATH;
        // Wine's desktop process is Wine's, not the program's, even where the
        // program's need of a desktop started it.
        const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != FALSE;
        if (named && IsWineDesktopProcess(path)) {
            wineDesktops.insert(id);
        } else if (named) {
            const std::wstring name = std::wstring(path, length).substr(std::wstring(path, length).find_last_of(L'\\') + 1);
            if ((L"," + names + L",").find(L"," + name + L",") == std::wstring::npos) {
                names += (names.empty() ? L"" : L",") + name;
            }
        }
        CloseHandle(process);
    }
}

DWORD RunningOf(const std::set<DWORD>& processes) {
    DWORD running = 0;
    for (const DWORD id : processes) {
        const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
        if (process != nullptr) {
            running += WaitForSingleObject(process, 0) == WAIT_TIMEOUT ? 1U : 0U;
            CloseHandle(process);
        }
    }
    return running;
}

bool Gone(HWND window) {
    for (DWORD waited = 0; IsWindow(window) && IsWindowVisible(window); waited += kPollMs, Sleep(kPollMs)) {
        if (waited >= kDismissLimitMs) {
            return false;
        }
    }
    return true;
}

// A window station made here is never visible (only WinSta0 is). It has one
// name for every run of the self-test: a later run opens it if it is still
// there, as it is under Wine, whose desktop process for it may live on.
struct UnseenStation {
    HWINSTA station = nullptr;
    HDESK desktop = nullptr;
    HANDLE keeper = nullptr;
    HANDLE ready = nullptr;
    HANDLE stop = nullptr;
};
UnseenStation unseen;

// Wine makes a desktop's window, starting a desktop process for it, when a
// program first needs that desktop. This thread needs it first and keeps it
// until the self-test ends, so that neither that process nor the window is
// the program's: where Wine's desktop process does not stay, the window is
// this thread's and would go with it.
DWORD WINAPI KeepDesktop(void*) {
    SetThreadDesktop(unseen.desktop);
    // Where the desktop's process is slow to come up, Wine stops waiting for
    // it and makes the window here: wait for the process a while, or the
    // program would start another one.
    AwaitDesktop(20);
    SetEvent(unseen.ready);
    while (MsgWaitForMultipleObjects(1, &unseen.stop, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
    }
    return 0;
}

const wchar_t* UnseenDesktopName() {
    static std::wstring name;
    if (unseen.station == nullptr) {
        const std::wstring station = L"flashgate-selftest-unseen";
        const HWINSTA visible = GetProcessWindowStation();
        unseen.station = CreateWindowStationW(station.c_str(), 0, WINSTA_ALL_ACCESS, nullptr);
        // A desktop is made on the station the process is on.
        if (unseen.station != nullptr && SetProcessWindowStation(unseen.station)) {
            unseen.desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
            SetProcessWindowStation(visible);
        }
        unseen.ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        unseen.stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (unseen.desktop != nullptr && unseen.ready != nullptr && unseen.stop != nullptr) {
            unseen.keeper = CreateThread(nullptr, 0, KeepDesktop, nullptr, 0, nullptr);
        }
        if (unseen.keeper != nullptr) {
            WaitForSingleObject(unseen.ready, INFINITE);
        }
        name = station + L"\\Default";
    }
    return unseen.keeper != nullptr ? name.c_str() : nullptr;
}

}  // namespace

void AwaitDesktop(int tries) {
    // On a slow machine Wine may stop waiting for the desktop's process before
    // it is up, and leave starting it to the next program that needs it.
    for (; tries > 0; --tries, Sleep(kPollMs * 10)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(GetDesktopWindow(), &owner);
        if (owner != 0 && owner != GetCurrentProcessId()) {
            return;
        }
    }
}

void EndUnseenStation() {
    if (unseen.keeper != nullptr) {
        SetEvent(unseen.stop);
        WaitForSingleObject(unseen.keeper, INFINITE);
        CloseHandle(unseen.keeper);
    }
    for (const HANDLE event : {unseen.ready, unseen.stop}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
    if (unseen.desktop != nullptr) {
        CloseDesktop(unseen.desktop);
    }
    if (unseen.station != nullptr) {
        CloseWindowStation(unseen.station);
    }
    unseen = UnseenStation{};
}

Meeting Meet(const MeetingPlan& plan) {
    Meeting meeting;
    // Everything the program starts joins this job, so that a started process
    // can be counted, and nothing outlives the meeting.
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    test::WriteUtf8(plan.holdFile, L"hold\n");

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring desktop;
    if (plan.dismissal == Dismissal::Unseen) {
        const wchar_t* unseenName = UnseenDesktopName();
        if (unseenName == nullptr) {
            meeting.error = L"cannot make a window station no one can see: error " + std::to_wstring(GetLastError());
            CloseHandle(job);
            return meeting;
        }
        desktop = unseenName;
        startup.lpDesktop = desktop.data();
    }
    std::wstring commandLine = L"\"" + plan.program + L"\"";
    std::wstring environment = plan.environment;
    PROCESS_INFORMATION gate{};
    if (!CreateProcessW(plan.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(), plan.currentFolder.c_str(),
                        &startup, &gate)) {
        meeting.error = L"cannot start " + plan.program + L": error " + std::to_wstring(GetLastError());
        CloseHandle(job);
        return meeting;
    }
    if (!AssignProcessToJobObject(job, gate.hProcess)) {
        meeting.error = L"cannot watch what the program starts (a job object): error " + std::to_wstring(GetLastError());
        TerminateProcess(gate.hProcess, 1);
    } else {
        ResumeThread(gate.hThread);
    }
    CloseHandle(gate.hThread);

    std::set<HWND> otherWindows;
    std::set<DWORD> wineDesktops;
    const ULONGLONG startedAt = GetTickCount64();
    ULONGLONG standInSeenAt = 0;
    while (meeting.error.empty()) {
        if (WaitForSingleObject(gate.hProcess, kPollMs) == WAIT_OBJECT_0) {
            meeting.ended = true;
            break;
        }
        // A program that waits for what it started is caught long before its time is up.
        const ULONGLONG now = GetTickCount64();
        if (standInSeenAt == 0 && GetFileAttributesW(plan.standInRecord.c_str()) != INVALID_FILE_ATTRIBUTES) {
            standInSeenAt = now;
        }
        if (now - startedAt >= plan.programLimitMs || (standInSeenAt != 0 && now - standInSeenAt >= kAfterStandInLimitMs)) {
            meeting.secondsAfterStandIn = standInSeenAt != 0 ? static_cast<DWORD>((now - standInSeenAt) / 1000) : 0;
            break;
        }
        NoteStartedProcesses(job, gate.dwProcessId, meeting.startedNames, wineDesktops);
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
        if (++meeting.notices == 1) {
            meeting.notice = DescribeNotice(notice, gate.dwProcessId);
            Sleep(400);
            meeting.notice.held = WaitForSingleObject(gate.hProcess, 0) == WAIT_TIMEOUT && IsWindow(notice);
            if (!plan.pictureBase.empty()) {
                HoldForPicture(notice, plan.pictureBase);
            }
        }
        // A second notice is only counted and cleared away.
        Dismiss(notice, meeting.notices > 1 ? Dismissal::Ok : plan.dismissal);
        if (!Gone(notice)) {
            meeting.dismissed = false;
            break;
        }
    }
    GetExitCodeProcess(gate.hProcess, &meeting.exitCode);
    NoteStartedProcesses(job, gate.dwProcessId, meeting.startedNames, wineDesktops);
    const JOBOBJECT_BASIC_ACCOUNTING_INFORMATION atEnd = Accounting(job);
    const auto desktops = static_cast<DWORD>(wineDesktops.size());
    meeting.otherWindows = static_cast<unsigned>(otherWindows.size());
    meeting.started = atEnd.TotalProcesses > desktops ? atEnd.TotalProcesses - 1 - desktops : 0;
    meeting.runningAtEnd = atEnd.ActiveProcesses - (meeting.ended ? 0 : 1) - RunningOf(wineDesktops);

    // A started stand-in writes its record as it starts: once that is there,
    // whatever is left of the program's doing is ended.
    DeleteFileW(plan.holdFile.c_str());
    for (DWORD waited = 0; Accounting(job).ActiveProcesses > 0 && waited < 10000 &&
                           GetFileAttributesW(plan.standInRecord.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs) {
        Sleep(kPollMs);
    }
    TerminateJobObject(job, 1);
    for (DWORD waited = 0; Accounting(job).ActiveProcesses > 0 && waited < 5000; waited += kPollMs) {
        Sleep(kPollMs);
    }
    CloseHandle(gate.hProcess);
    CloseHandle(job);
    return meeting;
}

}  // namespace flashgate::selftest
