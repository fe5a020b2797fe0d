// Starts a program as some of Windows' own starters do, for the end-to-end
// tests: in a job, as Task Scheduler, Run As and some remote sessions start
// programs, or on a window station no one can see, as a service runs:
//   launch [--job breakaway|no-breakaway] [--unseen] PROGRAM [ARGS...]
// The program gets our standard handles; launch exits with its status.
#include <windows.h>

#include <string>

#include "job.h"
#include "program_support.h"

namespace {

void Say(const std::wstring& line) {
    const std::string bytes = flashgate::test::Utf8(L"launch: " + line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Puts this process, and so everything it starts, in a job that lets
// programs break away from it, or not.
bool EnterJob(bool breakawayOk) {
    flashgate::test::UniqueHandle job = flashgate::test::KillOnCloseJob(breakawayOk ? JOB_OBJECT_LIMIT_BREAKAWAY_OK : 0);
    // Its handle is kept until launch ends, and with it whatever still runs in it.
    return job && AssignProcessToJobObject(job.release(), GetCurrentProcess());
}

// Wine makes a desktop's window when a program first needs it, in that
// program where no desktop process comes up for it: this thread needs it
// first and serves it until launch ends, so that the program's desktop is
// there when it starts, as on Windows.
DWORD WINAPI KeepDesktop(void* desktop) {
    SetThreadDesktop(static_cast<HDESK>(desktop));
    GetDesktopWindow();
    for (MSG message; GetMessageW(&message, nullptr, 0, 0) > 0;) {
        DispatchMessageW(&message);
    }
    return 0;
}

// A window station of our own, which is never visible, and its desktop,
// both kept until launch ends, as the program started there is.
bool MakeUnseenDesktop(std::wstring& name) {
    const HWINSTA visible = GetProcessWindowStation();
    const HWINSTA station = CreateWindowStationW(L"flashgate-launch-unseen", 0, WINSTA_ALL_ACCESS, nullptr);
    if (station == nullptr || !SetProcessWindowStation(station)) {
        return false;
    }
    const HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    // SetThreadDesktop takes only a desktop of the process's own station: the
    // keeper is on it before the process goes back to its own.
    const flashgate::test::UniqueHandle keeper(
        desktop != nullptr ? CreateThread(nullptr, 0, KeepDesktop, desktop, 0, nullptr) : nullptr);
    Sleep(500);  // for the thread to be on the desktop and have made its window
    SetProcessWindowStation(visible);
    name = L"flashgate-launch-unseen\\Default";
    return static_cast<bool>(keeper);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int first = 1;
    std::wstring desktop;
    for (; first < argc && argv[first][0] == L'-'; ++first) {
        const std::wstring option = argv[first];
        if (option == L"--job" && first + 1 < argc) {
            const std::wstring kind = argv[++first];
            if ((kind != L"breakaway" && kind != L"no-breakaway") || !EnterJob(kind == L"breakaway")) {
                Say(L"cannot enter a job (" + kind + L"): error " + std::to_wstring(GetLastError()));
                return 70;
            }
        } else if (option == L"--unseen") {
            if (!MakeUnseenDesktop(desktop)) {
                Say(L"cannot make a window station: error " + std::to_wstring(GetLastError()));
                return 70;
            }
        } else {
            Say(L"usage: launch [--job breakaway|no-breakaway] [--unseen] PROGRAM [ARGS...]");
            return 64;
        }
    }
    if (first >= argc) {
        Say(L"usage: launch [--job breakaway|no-breakaway] [--unseen] PROGRAM [ARGS...]");
        return 64;
    }
    std::wstring commandLine;
    for (int i = first; i < argc; ++i) {
        commandLine += (i > first ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
    }
    STARTUPINFOW startup = flashgate::test::WithOurStandardHandles();
    startup.lpDesktop = desktop.empty() ? nullptr : desktop.data();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(argv[first], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &started)) {
        Say(L"cannot start " + std::wstring(argv[first]) + L": error " + std::to_wstring(GetLastError()));
        return 70;
    }
    const flashgate::test::UniqueProcessInformation run(started);
    DWORD status = 70;
    WaitForSingleObject(run.process(), INFINITE);
    GetExitCodeProcess(run.process(), &status);
    return static_cast<int>(status);
}
