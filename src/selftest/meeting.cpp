// Meeting the program as a user would, through the same window functions a
// person's clicks and keys end up in.
#include "selftest/meeting.h"

#include <tlhelp32.h>

#include <map>
#include <set>
#include <vector>

#include "selftest/machine.h"
#include "selftest/program_support.h"
#include "selftest/scratch.h"

namespace flashgate::selftest {
namespace {

constexpr DWORD kPollMs = 50;
constexpr DWORD kAfterStandInLimitMs = 10000;    // from the stand-in's start to the program's end
constexpr DWORD kAfterDismissalLimitMs = 10000;  // from its last notice's going to the program's end
constexpr DWORD kDismissLimitMs = 5000;
constexpr DWORD kClickLimitMs = 1000;  // for OK's click to take, before the command it sends is sent
constexpr DWORD kHoldMs = 400;         // how long a notice is watched holding the program

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

// The visible top-level windows of a process on this thread's desktop, or on
// `desktop`, or the visible child windows of `parent` (message boxes are
// #32770). A window on another window station's desktop is visible by its
// own style: the desktop it is on is not.
std::vector<HWND> WindowsOf(DWORD processId, HWND parent = nullptr, HDESK desktop = nullptr) {
    struct Search {
        DWORD owner;
        bool byStyle;
        std::vector<HWND> found;
    } search{processId, desktop != nullptr, {}};
    const WNDENUMPROC collect = [](HWND window, LPARAM context) -> BOOL CALLBACK {
        Search& seen = *reinterpret_cast<Search*>(context);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        const bool visible =
            seen.byStyle ? (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0 : IsWindowVisible(window) != FALSE;
        if (process == seen.owner && visible) {
            seen.found.push_back(window);
        }
        return TRUE;
    };
    if (parent != nullptr) {
        EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&search));
    } else if (desktop != nullptr) {
        EnumDesktopWindows(desktop, collect, reinterpret_cast<LPARAM>(&search));
    } else {
        EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

// A white bitmap of our own in which pixels are counted: one from the screen
// is copied in one piece, not asked for pixel by pixel.
class Canvas {
public:
    Canvas(int width, int height)
        : screen_(GetDC(nullptr)), dc_(CreateCompatibleDC(screen_)),
          bitmap_(CreateCompatibleBitmap(screen_, width, height)), previous_(SelectObject(dc_, bitmap_)) {
        PatBlt(dc_, 0, 0, width, height, WHITENESS);
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
        ReleaseDC(nullptr, screen_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC screen() const { return screen_; }
    HDC dc() const { return dc_; }

private:
    HDC screen_, dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_;
};

// The icon of a notice's icon control. On Windows an icon handle serves every
// process of the session, so the icon is drawn here, whatever the screen
// shows (a notice behind another program's window, on a runner); Wine keeps
// an icon's image in the process that loaded it, so there it is read off the
// screen.
std::wstring IconShown(HWND iconControl) {
    RECT area{};
    GetClientRect(iconControl, &area);
    if (area.right <= 0 || area.bottom <= 0) {
        return L"none";
    }
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(iconControl, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &icon);
    if (icon != 0) {
        const std::wstring drawn = IconOfHandle(reinterpret_cast<HICON>(icon), area.right, area.bottom);
        if (!drawn.empty() && drawn != L"none") {
            return drawn;
        }
    }
    POINT onScreen{0, 0};
    MapWindowPoints(iconControl, nullptr, &onScreen, 1);
    const Canvas canvas(area.right, area.bottom);
    std::wstring kind = L"none";
    // The notice may not be painted yet when it is first seen.
    for (int attempt = 0; attempt < 40 && kind == L"none"; ++attempt, Sleep(kPollMs)) {
        BitBlt(canvas.dc(), 0, 0, area.right, area.bottom, canvas.screen(), onScreen.x, onScreen.y, SRCCOPY);
        kind = IconKind(canvas.dc(), area);
    }
    return kind;
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

// Whether the program waits on its notice: it keeps running, and the notice
// stays up, for as long as it is watched.
bool Holds(HANDLE program, HWND notice) {
    for (DWORD watched = 0; watched < kHoldMs; watched += kPollMs) {
        if (WaitForSingleObject(program, kPollMs) != WAIT_TIMEOUT || !IsWindow(notice)) {
            return false;
        }
    }
    return true;
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

bool Gone(HWND window, DWORD limitMs) {
    for (DWORD waited = 0; IsWindow(window) && IsWindowVisible(window); waited += kPollMs, Sleep(kPollMs)) {
        if (waited >= limitMs) {
            return false;
        }
    }
    return true;
}

// Dismisses the notice the way a user would; each ends in the dialog
// manager. Returns whether the notice went.
bool Dismiss(HWND notice, Dismissal how, Meeting& meeting) {
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
        if (!IsWindow(notice)) {
            return true;  // gone by itself: nothing left to dismiss
        }
        const HWND ok = GetDlgItem(notice, IDOK);
        if (ok == nullptr) {
            meeting.noOkButton = true;
            return false;
        }
        PostMessageW(ok, BM_CLICK, 0, 0);
        if (Gone(notice, kClickLimitMs)) {
            return true;
        }
        // Microsoft documents that BM_CLICK may fail where the dialog is not
        // the active window, and the self-test cannot make another process's
        // window active: on a runner the foreground belongs to another
        // program. The command the button sends its dialog when clicked ends
        // the notice all the same.
        meeting.okByCommand = true;
        PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
    }
    return Gone(notice, kDismissLimitMs);
}

// The processes a program started, directly or not: those in its job or,
// without one, those whose parent is the program or one of them and that
// were made after it (a process id can be used again). Wine's desktop
// processes are Wine's, not the program's, even where the program's need of
// a desktop started one: they are kept apart.
class Descendants {
public:
    Descendants(HANDLE job, const PROCESS_INFORMATION& program) : job_(job), programId_(program.dwProcessId) {
        FILETIME exited, kernel, user;
        GetProcessTimes(program.hProcess, &created_, &exited, &kernel, &user);
    }
    ~Descendants() {
        for (const auto& [id, process] : seen_) {
            CloseHandle(process.handle);
        }
    }
    Descendants(const Descendants&) = delete;
    Descendants& operator=(const Descendants&) = delete;

    // Notes those running now.
    void Look() {
        for (const DWORD id : job_ != nullptr ? InJob() : ByParent()) {
            if (id == programId_ || seen_.count(id) != 0) {
                continue;
            }
            const HANDLE process =
                OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, id);
            FILETIME created{}, exited, kernel, user;
            if (process == nullptr) {
                continue;
            }
            if (job_ == nullptr && (!GetProcessTimes(process, &created, &exited, &kernel, &user) ||
                                    CompareFileTime(&created, &created_) < 0)) {
                CloseHandle(process);
                continue;
            }
            wchar_t path[MAX_PATH] = L"";
            DWORD length = MAX_PATH;
            const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != FALSE;
            // A process that is only starting may have no name yet: it is looked at again.
            if (!named && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
                CloseHandle(process);
                continue;
            }
            const std::wstring file(path, named ? length : 0);
            const bool desktop = named && IsWineDesktopProcess(file);
            seen_[id] = {process, desktop};
            const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
            if (named && !desktop && (L"," + names + L",").find(L"," + name + L",") == std::wstring::npos) {
                names += (names.empty() ? L"" : L",") + name;
            }
        }
    }

    unsigned Started() const {
        unsigned seen = 0, desktops = 0;
        for (const auto& [id, process] : seen_) {
            (process.desktop ? desktops : seen) += 1;
        }
        // The job also counts those that came and went between two looks.
        const DWORD total = job_ != nullptr ? test::Accounting(job_).TotalProcesses : 0;
        return total > 1 + desktops + seen ? total - 1 - desktops : seen;
    }

    unsigned Running() const {
        unsigned running = 0;
        for (const auto& [id, process] : seen_) {
            running += !process.desktop && WaitForSingleObject(process.handle, 0) == WAIT_TIMEOUT ? 1U : 0U;
        }
        return running;
    }

    void EndAll() {
        if (job_ != nullptr) {
            TerminateJobObject(job_, 1);
        }
        for (const auto& [id, process] : seen_) {
            if (job_ == nullptr && !process.desktop) {
                TerminateProcess(process.handle, 1);
            }
        }
        for (const auto& [id, process] : seen_) {
            WaitForSingleObject(process.handle, process.desktop ? 0 : 5000);
        }
    }

    std::wstring names;  // of those seen, once each

private:
    struct Process {
        HANDLE handle;
        bool desktop;
    };

    std::vector<DWORD> InJob() const {
        struct {
            JOBOBJECT_BASIC_PROCESS_ID_LIST list;
            ULONG_PTR more[63];
        } ids{};
        ids.list.NumberOfAssignedProcesses = 64;
        std::vector<DWORD> found;
        if (QueryInformationJobObject(job_, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr)) {
            for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
                found.push_back(static_cast<DWORD>(ids.list.ProcessIdList[i]));
            }
        }
        return found;
    }

    std::vector<DWORD> ByParent() const {
        std::vector<PROCESSENTRY32W> all;
        const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        if (snapshot != INVALID_HANDLE_VALUE) {
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
                all.push_back(entry);
            }
            CloseHandle(snapshot);
        }
        std::set<DWORD> family{programId_};
        for (const auto& [id, process] : seen_) {
            family.insert(id);
        }
        std::vector<DWORD> found;
        for (bool grew = true; grew;) {
            grew = false;
            for (const PROCESSENTRY32W& entry : all) {
                if (family.count(entry.th32ParentProcessID) != 0 && family.insert(entry.th32ProcessID).second) {
                    found.push_back(entry.th32ProcessID);
                    grew = true;
                }
            }
        }
        return found;
    }

    HANDLE job_;
    DWORD programId_;
    FILETIME created_{};
    std::map<DWORD, Process> seen_;
};

// Whether a program started with `flags` can be put in a job of the
// self-test's own. Tried on a suspended copy of the self-test, which runs
// none of its code and is ended at once.
bool JobCanHold(DWORD flags) {
    const std::wstring self = ThisProgram();
    std::wstring commandLine = L"\"" + self + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION probe{};
    if (!CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | flags, nullptr,
                        nullptr, &startup, &probe)) {
        return false;
    }
    const HANDLE job = test::KillOnCloseJob();
    const bool held = job != nullptr && AssignProcessToJobObject(job, probe.hProcess);
    TerminateProcess(probe.hProcess, 1);
    WaitForSingleObject(probe.hProcess, 5000);
    CloseHandle(probe.hThread);
    CloseHandle(probe.hProcess);
    if (job != nullptr) {
        CloseHandle(job);
    }
    return held;
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
    // On a window station no one can see, Wine starts no desktop process:
    // there the desktop's window is no process's.
    USEROBJECTFLAGS station{};
    const bool visible =
        !GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &station, sizeof station, nullptr) ||
        (station.dwFlags & WSF_VISIBLE) != 0;
    for (; tries > 0; --tries, Sleep(kPollMs * 10)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(GetDesktopWindow(), &owner);
        if ((owner != 0 || !visible) && owner != GetCurrentProcessId()) {
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

std::wstring IconKind(HDC picture, const RECT& area) {
    long yellow = 0, red = 0, blue = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF c = GetPixel(picture, x, y);
            const int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
            yellow += r > 200 && g > 150 && b < 100 ? 1 : 0;
            red += r > 160 && g < 90 && b < 90 ? 1 : 0;
            blue += b > 150 && r < 120 ? 1 : 0;
        }
    }
    // A sixth of the square or more for the triangle, and as much for a disc.
    const long size = (area.right - area.left) * (area.bottom - area.top);
    return size <= 0            ? L"none"
           : yellow * 10 >= size ? L"exclamation"
           : red * 10 >= size    ? L"hand"
           : blue * 10 >= size   ? L"information or question"
                                 : L"none";
}

std::wstring IconOfHandle(HICON icon, int width, int height) {
    const Canvas canvas(width, height);
    if (!DrawIconEx(canvas.dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL)) {
        return L"";
    }
    return IconKind(canvas.dc(), {0, 0, width, height});
}

Watching HowToWatch(bool withoutJob) {
    if (withoutJob) {
        return {false, 0,
                L"without a job, as asked (--no-job): what a program starts is found by its parent process "
                L"and ended one by one"};
    }
    BOOL inJob = FALSE;
    if (!IsProcessInJob(GetCurrentProcess(), nullptr, &inJob) || !inJob) {
        return {true, 0, L"each program in a job of the self-test's own"};
    }
    // Task Scheduler, Run As and some remote sessions start programs in a
    // job. A program leaves it where the job lets it (else its start with
    // CREATE_BREAKAWAY_FROM_JOB fails); where it does not, a job of the
    // self-test's own holds it only where Windows nests jobs (8 and later).
    if (JobCanHold(CREATE_BREAKAWAY_FROM_JOB)) {
        return {true, CREATE_BREAKAWAY_FROM_JOB,
                L"the self-test runs in a job that lets programs break away: each is started outside it, in a job of "
                L"the self-test's own"};
    }
    if (JobCanHold(0)) {
        return {true, 0, L"the self-test runs in a job that lets no program break away: each is watched in a job nested in it"};
    }
    return {false, 0,
            L"the self-test runs in a job that lets no program break away, and this Windows puts no job inside "
            L"another (7 and older): programs are watched without a job, what they start found by its parent "
            L"process and ended one by one"};
}

Meeting Meet(const MeetingPlan& plan) {
    Meeting meeting;
    test::WriteUtf8(plan.holdFile, L"hold\n");

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring desktop;
    HDESK unseenDesktop = nullptr;
    if (plan.dismissal == Dismissal::Unseen) {
        const wchar_t* unseenName = UnseenDesktopName();
        if (unseenName == nullptr) {
            meeting.error = L"cannot make a window station no one can see: error " + std::to_wstring(GetLastError());
            return meeting;
        }
        desktop = unseenName;
        startup.lpDesktop = desktop.data();
        unseenDesktop = unseen.desktop;
    }
    std::wstring commandLine = L"\"" + plan.program + L"\"";
    std::wstring environment = plan.environment;
    PROCESS_INFORMATION gate{};
    if (!CreateProcessW(plan.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | plan.watching.creationFlags, environment.data(),
                        plan.currentFolder.c_str(), &startup, &gate)) {
        meeting.error = L"cannot start " + plan.program + L": error " + std::to_wstring(GetLastError());
        return meeting;
    }
    // Everything the program starts joins this job, so that a started process
    // can be counted, and nothing outlives the meeting.
    HANDLE job = plan.watching.inJob ? test::KillOnCloseJob() : nullptr;
    if (job != nullptr && !AssignProcessToJobObject(job, gate.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    meeting.watchedWithoutJob = plan.watching.inJob && job == nullptr;
    ResumeThread(gate.hThread);
    CloseHandle(gate.hThread);

    Descendants started(job, gate);
    std::set<HWND> otherWindows;
    const ULONGLONG startedAt = GetTickCount64();
    ULONGLONG standInSeenAt = 0, dismissedAt = 0;
    for (;;) {
        if (WaitForSingleObject(gate.hProcess, kPollMs) == WAIT_OBJECT_0) {
            meeting.ended = true;
            break;
        }
        // A program that waits for what it started, or lingers after its
        // notice, is caught long before its time is up.
        const ULONGLONG now = GetTickCount64();
        if (standInSeenAt == 0 && GetFileAttributesW(plan.standInRecord.c_str()) != INVALID_FILE_ATTRIBUTES) {
            standInSeenAt = now;
        }
        meeting.afterDismissal = dismissedAt != 0 && now - dismissedAt >= kAfterDismissalLimitMs;
        if (now - startedAt >= plan.programLimitMs || meeting.afterDismissal ||
            (standInSeenAt != 0 && now - standInSeenAt >= kAfterStandInLimitMs)) {
            meeting.secondsAfterStandIn = standInSeenAt != 0 ? static_cast<DWORD>((now - standInSeenAt) / 1000) : 0;
            break;
        }
        started.Look();
        HWND notice = nullptr;
        for (HWND window : WindowsOf(gate.dwProcessId)) {
            if (ClassOf(window) != L"#32770") {
                otherWindows.insert(window);
            } else if (notice == nullptr) {
                notice = window;
            }
        }
        // No one can dismiss a notice there, and the program would wait on it for ever.
        if (unseenDesktop != nullptr) {
            for (HWND window : WindowsOf(gate.dwProcessId, nullptr, unseenDesktop)) {
                if (ClassOf(window) == L"#32770") {
                    ++meeting.unseenNotices;
                } else {
                    otherWindows.insert(window);
                }
            }
            if (meeting.unseenNotices > 0) {
                break;
            }
        }
        if (notice == nullptr) {
            continue;
        }
        if (++meeting.notices == 1) {
            meeting.notice = DescribeNotice(notice, gate.dwProcessId);
            meeting.notice.held = Holds(gate.hProcess, notice);
            if (!plan.pictureBase.empty()) {
                HoldForPicture(notice, plan.pictureBase);
            }
        }
        // A second notice is only counted and cleared away.
        if (!Dismiss(notice, meeting.notices > 1 ? Dismissal::Ok : plan.dismissal, meeting)) {
            meeting.dismissed = false;
            break;
        }
        dismissedAt = GetTickCount64();
    }
    GetExitCodeProcess(gate.hProcess, &meeting.exitCode);
    started.Look();
    meeting.otherWindows = static_cast<unsigned>(otherWindows.size());
    meeting.started = started.Started();
    meeting.startedNames = started.names;
    meeting.runningAtEnd = started.Running();

    // A started stand-in writes its record as it starts: once that is there,
    // whatever is left of the program's doing is ended.
    DeleteFileW(plan.holdFile.c_str());
    for (DWORD waited = 0; started.Running() > 0 && waited < 10000 &&
                           GetFileAttributesW(plan.standInRecord.c_str()) == INVALID_FILE_ATTRIBUTES;
         waited += kPollMs) {
        Sleep(kPollMs);
    }
    TerminateProcess(gate.hProcess, 1);
    WaitForSingleObject(gate.hProcess, 5000);
    started.EndAll();
    CloseHandle(gate.hProcess);
    if (job != nullptr) {
        CloseHandle(job);
    }
    return meeting;
}

}  // namespace flashgate::selftest
