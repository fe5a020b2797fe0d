// The meeting's poll loop: the program watched until it ends, or until it has
// run on for longer than a program that had decided would.
#include "selftest/meeting.h"

#include <set>

#include "selftest/job.h"
#include "selftest/notice_reading.h"
#include "selftest/program_support.h"

namespace flashgate::selftest {
namespace {

constexpr DWORD kPollMs = 50;
// Limits for a program on Windows; the emulated PC gives it SlowerBy() times each.
const DWORD kAfterStandInLimitMs = 10000 * SlowerBy();    // from the stand-in's start to the program's end
const DWORD kAfterDismissalLimitMs = 10000 * SlowerBy();  // from its last notice's going to the program's end
const DWORD kStandInRecordLimitMs = 10000 * SlowerBy();   // from the program's end to the stand-in's record

bool Exists(const std::wstring& file) { return GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

Seen Meet(const MeetingPlan& plan) {
    Seen seen;
    test::WriteUtf8(plan.holdFile, L"hold\n");

    test::ProgramStart start;
    start.application = plan.program;
    start.commandLine = L"\"" + plan.program + L"\"";
    start.folder = plan.currentFolder.c_str();
    std::wstring environment = plan.environment;
    start.environment = environment.data();
    start.creationFlags = plan.watching.creationFlags;
    if (plan.start == Start::Hidden || plan.start == Start::Minimised) {
        start.startup.dwFlags = STARTF_USESHOWWINDOW;
        start.startup.wShowWindow = plan.start == Start::Hidden ? SW_HIDE : SW_SHOWMINNOACTIVE;
    }
    std::wstring desktop;
    HDESK unseenDesktop = nullptr;
    if (plan.unseen != nullptr) {
        if (plan.unseen->desktopName().empty()) {
            seen.error = std::wstring(L"cannot make ") +
                         (plan.start == Start::PrivateDesktop ? L"a desktop no one switches to"
                                                              : L"a window station no one can see") +
                         L": " + plan.unseen->trouble();
            return seen;
        }
        desktop = plan.unseen->desktopName();
        start.startup.lpDesktop = desktop.data();
        unseenDesktop = plan.unseen->desktop();
    }
    // Everything the program starts joins its job, so that a started process
    // can be counted, and nothing outlives the meeting.
    const test::JobStart gate =
        test::StartInJob(start, plan.watching.inJob, plan.handForeground ? AllowSetForegroundWindow : nullptr);
    if (!gate.program) {
        seen.error = L"cannot start " + plan.program + L": error " + std::to_wstring(gate.error);
        return seen;
    }
    seen.watchedWithoutJob = plan.watching.inJob && !gate.job;
    seen.foregroundHandedOn = gate.readied;
    const HANDLE program = gate.program.process();

    ProcessTree started(gate.job.get(), program, gate.program.id());
    std::set<HWND> otherWindows;
    const ULONGLONG startedAt = GetTickCount64();
    ULONGLONG standInSeenAt = 0, dismissedAt = 0;
    for (;;) {
        if (WaitForSingleObject(program, kPollMs) == WAIT_OBJECT_0) {
            seen.ended = true;
            break;
        }
        // A program that waits for what it started, or lingers after its
        // notice, is caught long before its time is up.
        const ULONGLONG now = GetTickCount64();
        if (standInSeenAt == 0 && Exists(plan.standInRecord)) {
            standInSeenAt = now;
        }
        seen.afterDismissal = dismissedAt != 0 && now - dismissedAt >= kAfterDismissalLimitMs;
        if (now - startedAt >= plan.programLimitMs || seen.afterDismissal ||
            (standInSeenAt != 0 && now - standInSeenAt >= kAfterStandInLimitMs)) {
            seen.secondsAfterStandIn = standInSeenAt != 0 ? static_cast<unsigned long>((now - standInSeenAt) / 1000) : 0;
            break;
        }
        started.Look();
        HWND notice = nullptr;
        for (HWND window : WindowsOf(gate.program.id())) {
            if (ClassOf(window) != L"#32770") {
                otherWindows.insert(window);
            } else if (notice == nullptr) {
                notice = window;
            }
        }
        // Started hidden, the program's notice is hidden with it: one that
        // Windows keeps hidden is a notice all the same.
        if (plan.start == Start::Hidden) {
            for (HWND window : WindowsOf(gate.program.id(), nullptr, nullptr, Shown::OrNot)) {
                seen.unseenNotices += ClassOf(window) == L"#32770" ? 1U : 0U;
            }
            if (seen.unseenNotices > 0) {
                break;
            }
        }
        // No one can dismiss a notice there, and the program would wait on it for ever.
        if (unseenDesktop != nullptr) {
            for (HWND window : WindowsOf(gate.program.id(), nullptr, unseenDesktop)) {
                if (ClassOf(window) == L"#32770") {
                    ++seen.unseenNotices;
                } else {
                    otherWindows.insert(window);
                }
            }
            if (seen.unseenNotices > 0) {
                break;
            }
        }
        if (notice == nullptr) {
            continue;
        }
        if (++seen.notices == 1) {
            seen.notice = DescribeNotice(notice, gate.program.id());
            seen.notice.minimised = IsIconic(notice) != FALSE;
            seen.notice.held = Holds(program, notice);
            if (!plan.pictureBase.empty()) {
                HoldForPicture(notice, plan.pictureBase);
            }
        }
        // A second notice is only counted and cleared away.
        if (!Dismiss(notice, seen.notices > 1 ? Dismissal::Ok : plan.dismissal, seen)) {
            seen.dismissed = false;
            break;
        }
        dismissedAt = GetTickCount64();
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(program, &exitCode);
    seen.exitCode = exitCode;
    started.Look();
    seen.otherWindows = static_cast<unsigned>(otherWindows.size());
    seen.started = started.Started();
    seen.startedNames = started.names();
    seen.runningAtEnd = started.Running();

    // A started stand-in writes its record as it starts: once that is there,
    // whatever is left of the program's doing is ended.
    DeleteFileW(plan.holdFile.c_str());
    for (DWORD waited = 0; started.Running() > 0 && waited < kStandInRecordLimitMs && !Exists(plan.standInRecord);
         waited += kPollMs) {
        Sleep(kPollMs);
    }
    TerminateProcess(program, 1);
    WaitForSingleObject(program, 5000);
    started.EndAll();
    return seen;
}

}  // namespace flashgate::selftest
