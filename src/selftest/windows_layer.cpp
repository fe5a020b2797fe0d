// Runs the Windows-layer suite and turns GoogleTest's lines into checks.
#include "selftest/windows_layer.h"

#include <windows.h>

#include "selftest/job.h"
#include "selftest/program_support.h"
#include "selftest/scratch.h"

namespace flashgate::selftest {
namespace {

constexpr DWORD kSuiteLimitMs = 600000;  // ten minutes, for an emulated PC

// Runs `program` in `folder` and returns all it writes to its output; sets
// `exitCode`, or leaves it STILL_ACTIVE if the program had to be ended.
std::string Output(const std::wstring& program, const std::wstring& folder, const Watching& watching, DWORD& exitCode) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    test::UniqueHandle read, write;
    CreatePipe(read.put(), write.put(), &inheritable, 0);
    SetHandleInformation(read.get(), HANDLE_FLAG_INHERIT, 0);
    test::ProgramStart start;
    start.application = program;
    start.commandLine = L"\"" + program + L"\" --gtest_color=no";
    start.folder = folder.c_str();
    std::wstring environment = EnvironmentBlock({{L"PATH", SystemPath()}}, {});
    start.environment = environment.data();
    start.startup.dwFlags = STARTF_USESTDHANDLES;
    start.startup.hStdOutput = start.startup.hStdError = write.get();
    start.startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.creationFlags = CREATE_NO_WINDOW | watching.creationFlags;
    start.inheritHandles = true;
    // The job ends whatever the suite leaves; where there is none, the suite is ended by itself.
    const test::JobStart suite = test::StartInJob(start, watching.inJob);
    exitCode = STILL_ACTIVE;
    std::string output;
    write.reset();
    if (!suite.program) {
        return output;
    }
    // Reads as the suite writes, so that a full pipe never holds it up.
    const ULONGLONG deadline = GetTickCount64() + kSuiteLimitMs;
    char buffer[4096];
    DWORD got = 0;
    while (GetTickCount64() < deadline) {
        DWORD waiting = 0;
        if (PeekNamedPipe(read.get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
            if (ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr)) {
                output.append(buffer, got);
            }
        } else if (WaitForSingleObject(suite.program.process(), 50) == WAIT_OBJECT_0) {
            while (ReadFile(read.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
                output.append(buffer, got);
            }
            GetExitCodeProcess(suite.program.process(), &exitCode);
            break;
        }
    }
    TerminateProcess(suite.program.process(), 1);
    if (suite.job) {
        TerminateJobObject(suite.job.get(), 1);
    }
    return output;
}

}  // namespace

// The suite's tests check flashgate's Windows side itself, each proven by
// the faults of src/mutants.txt: they run no flashgate.exe, so no faulty one
// of tests/e2e/faults is theirs.
void RunWindowsLayer(const std::wstring& selfFolder, const Watching& watching, Report& report) {
    const std::wstring suiteName = L"flashgate-windows-tests.exe", standInName = L"flashgate-standin.exe";
    const std::wstring folder = ScratchRoot() + L"\\windows-layer";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::wstring& name : {suiteName, standInName}) {
        if (!CopyFileW((selfFolder + L"\\" + name).c_str(), (folder + L"\\" + name).c_str(), FALSE)) {
            report.Check(kWindowsLayerCheck, Report::Result::Failed,
                         name + L" is not beside the self-test in " + selfFolder + L", expected the whole kit there");
            RemoveTree(folder);
            return;
        }
    }
    DWORD exitCode = 0;
    const std::wstring output = test::FromUtf8(Output(folder + L"\\" + suiteName, folder, watching, exitCode));
    RemoveTree(folder);

    std::wstring running, said;
    const std::vector<SuiteTest> tests = ReadGoogleTestOutput(output, running, said);
    unsigned failed = 0;
    for (const SuiteTest& ended : tests) {
        report.Check(std::wstring(kWindowsLayerCheck) + L" " + ended.name, ended.result, ended.said);
        failed += ended.result == Report::Result::Failed ? 1 : 0;
    }
    if (exitCode == STILL_ACTIVE) {
        report.Check(kWindowsLayerCheck, Report::Result::Failed,
                     L"the suite did not end within ten minutes" + (running.empty() ? L"" : L", in " + running));
    } else if (tests.empty() || (exitCode != 0 && failed == 0)) {
        report.Check(kWindowsLayerCheck, Report::Result::Failed,
                     L"the suite ended with status " + std::to_wstring(exitCode) + L" after " +
                         std::to_wstring(tests.size()) + L" tests" + (running.empty() ? L"" : L", in " + running + L": " + said));
    }
}

std::vector<SuiteTest> ReadGoogleTestOutput(const std::wstring& output, std::wstring& running, std::wstring& said) {
    // [ RUN      ] Suite.Test, what it says, then [       OK ], [  FAILED  ] or [  SKIPPED ] Suite.Test.
    std::vector<SuiteTest> tests;
    running.clear();
    for (const std::wstring& line : test::Lines(output)) {
        const std::wstring tag = line.substr(0, 13), rest = line.size() > 13 ? line.substr(13) : L"";
        if (tag == L"[ RUN      ] ") {
            running = rest;
            said.clear();
        } else if (!running.empty() && rest.compare(0, running.size(), running) == 0 &&
                   (tag == L"[       OK ] " || tag == L"[  FAILED  ] " || tag == L"[  SKIPPED ] ")) {
            tests.push_back({running,
                             tag == L"[       OK ] "   ? Report::Result::Ok
                             : tag == L"[  FAILED  ] " ? Report::Result::Failed
                                                       : Report::Result::Skipped,
                             said});
            running.clear();
        } else if (!running.empty() && !line.empty() && line.find(L": Failure") == std::wstring::npos &&
                   line.find(L": Skipped") == std::wstring::npos) {
            // GoogleTest's "file:line: Failure" heads are left out.
            said += (said.empty() ? L"" : L" ") + line;
        }
    }
    return tests;
}

}  // namespace flashgate::selftest
