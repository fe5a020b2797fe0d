// Starts one program and times it, for scripts/bench. Prints one line:
//   us=MICROSECONDS exit=STATUS started=COUNT peak_working_set_kib=K peak_private_kib=K
//
//   bench_launcher exit|notice [--memory] FOLDER PROGRAM [ARGUMENTS...]
//   bench_launcher hold FILE
//
// exit:   time from CreateProcessW until the program has ended.
// notice: time from CreateProcessW until a message box of the program is
//         visible; the box is then dismissed with OK and the program's end is
//         awaited (untimed).
// --memory: samples the program's memory counters every few milliseconds
//         while it runs (a timed run never does, so that the sampling does not
//         slow it); without it the two memory fields are 0.
// The program runs in FOLDER, in a job, so that what it starts is counted and
// has ended before the launcher returns and the next run begins.
// hold:   keeps Wine's desktop open for as long as FILE exists. Wine ends its
//         desktop process soon after the last program on it has gone, and the
//         first window of a later program (COM's apartment window is one) then
//         starts it again; on Windows the desktop is always there.
#include <windows.h>
#include <psapi.h>

#include "job.h"

namespace {

using flashgate::test::Accounting;

constexpr char kUsage[] =
    "usage: bench_launcher exit|notice [--memory] FOLDER PROGRAM [ARGUMENTS...]\n"
    "       bench_launcher hold FILE\n";
constexpr DWORD kPollMs = 2;
constexpr LONGLONG kTimeoutMs = 60000;

struct Peaks {
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;

    // Wine fills these from Linux's /proc: the peak working set is VmHWM, a
    // true high-water mark; the "peak" pagefile usage is the current private
    // memory, so the largest sample is kept.
    void Sample(HANDLE process) {
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process, &counters, sizeof counters)) {
            workingSet = counters.PeakWorkingSetSize > workingSet ? counters.PeakWorkingSetSize : workingSet;
            privateBytes = counters.PeakPagefileUsage > privateBytes ? counters.PeakPagefileUsage : privateBytes;
        }
    }
};

LONGLONG Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

LONGLONG Microseconds(LONGLONG from, LONGLONG to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to - from) * 1000000 / frequency.QuadPart;
}

void Print(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

int Fail(const char* what) {
    char line[256];
    wsprintfA(line, "error=%s (Windows error %lu)\n", what, GetLastError());
    Print(line);
    return 1;
}

// A visible dialog-class window (a message box) owned by the process.
HWND FindNotice(DWORD processId) {
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

// The program's command line: each piece quoted, as CreateProcessW reads it back.
bool AppendQuoted(wchar_t* line, int size, const wchar_t* piece) {
    if (lstrlenW(line) + lstrlenW(piece) + 4 >= size) {
        return false;
    }
    if (line[0] != L'\0') {
        lstrcatW(line, L" ");
    }
    lstrcatW(line, L"\"");
    lstrcatW(line, piece);
    lstrcatW(line, L"\"");
    return true;
}

int Hold(const wchar_t* file) {
    GetDesktopWindow();  // joins this process to the desktop, starting it if need be
    while (GetFileAttributesW(file) != INVALID_FILE_ATTRIBUTES) {
        Sleep(200);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && lstrcmpW(argv[1], L"hold") == 0) {
        return Hold(argv[2]);
    }
    int next = 1;
    const bool notice = argc > next && lstrcmpW(argv[next], L"notice") == 0;
    if (argc <= next || (!notice && lstrcmpW(argv[next], L"exit") != 0)) {
        Print(kUsage);
        return 64;
    }
    ++next;
    const bool memory = argc > next && lstrcmpW(argv[next], L"--memory") == 0;
    next += memory ? 1 : 0;
    if (argc < next + 2) {
        Print(kUsage);
        return 64;
    }
    const wchar_t* folder = argv[next++];
    static wchar_t commandLine[4096];
    for (; next < argc; ++next) {
        if (!AppendQuoted(commandLine, ARRAYSIZE(commandLine), argv[next])) {
            return Fail("command line too long");
        }
    }

    flashgate::test::ProgramStart start;
    start.commandLine = commandLine;
    start.folder = folder;
    Peaks peaks;
    const LONGLONG begun = Now();
    // Suspended until it is in the job, so that nothing it starts escapes it.
    const flashgate::test::JobStart started = flashgate::test::StartInJob(start);
    if (!started.program) {
        SetLastError(started.error);
        return Fail("cannot start the program");
    }
    if (!started.job) {
        return Fail("no job object");
    }
    const HANDLE program = started.program.process();
    const HANDLE job = started.job.get();

    LONGLONG end = 0;
    HWND shown = nullptr;
    for (;;) {
        // A timed run of the exit kind simply waits; everything else polls.
        const DWORD wait = WaitForSingleObject(program, notice || memory ? kPollMs : INFINITE);
        if (wait == WAIT_OBJECT_0) {
            end = Now();
            break;
        }
        if (memory) {
            peaks.Sample(program);
        }
        if (notice && (shown = FindNotice(started.program.id())) != nullptr) {
            end = Now();
            break;
        }
        if (Microseconds(begun, Now()) > kTimeoutMs * 1000) {
            TerminateJobObject(job, 1);
            return Fail("the program neither ended nor showed a notice in time");
        }
    }
    if (notice && !shown) {
        Print("error=the program ended without a notice\n");
        return 1;
    }
    if (shown) {
        if (memory) {
            peaks.Sample(program);
        }
        PostMessageW(shown, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(shown, IDOK)));
        if (WaitForSingleObject(program, 10000) != WAIT_OBJECT_0) {
            TerminateJobObject(job, 1);
            return Fail("the program did not end after its notice was dismissed");
        }
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(program, &exitCode);

    // Whatever the program started ends on its own before the next run.
    for (DWORD waited = 0; Accounting(job).ActiveProcesses > 0 && waited < 10000; waited += kPollMs) {
        Sleep(kPollMs);
    }
    if (Accounting(job).ActiveProcesses > 0) {
        Print("error=a process the program started was still running 10 s after the program ended\n");
        return 1;
    }
    const DWORD startedByIt = Accounting(job).TotalProcesses - 1;

    char line[256];
    wsprintfA(line, "us=%lu exit=%lu started=%lu peak_working_set_kib=%lu peak_private_kib=%lu\n",
              static_cast<unsigned long>(Microseconds(begun, end)), exitCode, startedByIt,
              static_cast<unsigned long>(peaks.workingSet / 1024),
              static_cast<unsigned long>(peaks.privateBytes / 1024));
    Print(line);
    return 0;
}
