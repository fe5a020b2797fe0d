// Runs the Windows-layer suite and turns its results record into checks.
#include "selftest/windows_layer.h"

#include "selftest/job.h"
#include "selftest/program_support.h"
#include "selftest/scratch.h"
#include "selftest/search_order.h"

namespace flashgate::selftest {
namespace {

constexpr DWORD kSuiteLimitMs = 600000;  // ten minutes, for an emulated PC

}  // namespace

std::wstring RunSuite(const std::wstring& program, const std::wstring& folder, const std::wstring& arguments,
                      const std::wstring& results, const Watching& watching, DWORD& exitCode) {
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const test::UniqueFile nowhere(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                               &inheritable, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    test::ProgramStart start;
    start.application = program;
    start.commandLine = L"\"" + program + L"\" " + arguments + L" --results \"" + results + L"\"";
    start.folder = folder.c_str();
    std::wstring environment = EnvironmentBlock({{L"PATH", test::SystemPath()}}, {});
    start.environment = environment.data();
    start.startup.dwFlags = STARTF_USESTDHANDLES;
    start.startup.hStdInput = start.startup.hStdOutput = start.startup.hStdError = nowhere.get();
    start.creationFlags = CREATE_NO_WINDOW | watching.creationFlags;
    start.inheritHandles = true;
    // The job ends whatever the suite leaves; where there is none, the suite is ended by itself.
    const test::JobStart suite = test::StartInJob(start, watching.inJob);
    exitCode = STILL_ACTIVE;
    if (!suite.program) {
        return L"could not be started (error " + std::to_wstring(suite.error) + L")";
    }
    if (WaitForSingleObject(suite.program.process(), kSuiteLimitMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(suite.program.process(), &exitCode);
    } else {
        // Ended before its record is read and its folder removed.
        TerminateProcess(suite.program.process(), 1);
        WaitForSingleObject(suite.program.process(), 10000);
    }
    if (suite.job) {
        TerminateJobObject(suite.job.get(), 1);
    }
    return L"";
}

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
    const std::wstring results = folder + L"\\results.txt";
    DWORD exitCode = 0;
    const std::wstring error = RunSuite(folder + L"\\" + suiteName, folder, L"", results, watching, exitCode);
    const auto record = test::ReadRecordInOrder(results);
    RemoveTree(folder);
    if (!error.empty()) {
        report.Check(kWindowsLayerCheck, Report::Result::Failed, suiteName + L" " + error);
        return;
    }
    for (const SuiteCheck& check : SuiteChecks(record, exitCode)) {
        report.Check(check.name, check.result, check.detail);
    }
}

std::vector<SuiteCheck> SuiteChecks(const std::vector<std::pair<std::wstring, std::wstring>>& results, DWORD exitCode) {
    std::vector<SuiteCheck> checks;
    std::wstring running;
    bool ended = false;
    unsigned failed = 0;
    for (const auto& [key, value] : results) {
        if (key == L"running") {
            running = value;
        } else if (key == L"ended") {
            ended = value == L"yes";
        } else {
            // "ok", "FAIL: what it said" or "skipped: what it said"; what it
            // said may hold anything, ": " and "FAIL" too.
            const size_t colon = value.find(L": ");
            const std::wstring result = value.substr(0, colon);
            SuiteCheck check{std::wstring(kWindowsLayerCheck) + L" " + key, Report::Result::Failed,
                             colon == std::wstring::npos ? L"" : value.substr(colon + 2)};
            if (result == L"ok") {
                check.result = Report::Result::Ok;
            } else if (result == L"skipped") {
                check.result = Report::Result::Skipped;
            } else if (result != L"FAIL") {
                check.detail = L"recorded as \"" + value + L"\", expected ok, FAIL or skipped";
            }
            failed += check.result == Report::Result::Failed ? 1 : 0;
            checks.push_back(std::move(check));
        }
    }
    const std::wstring status = std::to_wstring(exitCode), tests = std::to_wstring(checks.size()),
                       in = running.empty() ? L"" : L", in " + running;
    std::wstring wrong;
    if (exitCode == STILL_ACTIVE) {
        wrong = L"the suite did not end within ten minutes" + in;
    } else if (results.empty()) {
        wrong = L"the suite ended with status " + status + L" and wrote no results";
    } else if (!ended) {
        wrong = L"the suite stopped with status " + status + L" after " + tests + L" tests" +
                (running.empty() ? L", before its end" : in);
    } else if (checks.empty() || (exitCode != 0 && failed == 0)) {
        wrong = L"the suite ended with status " + status + L" after " + tests + L" tests";
    }
    if (!wrong.empty()) {
        checks.push_back({kWindowsLayerCheck, Report::Result::Failed, wrong});
    }
    return checks;
}

}  // namespace flashgate::selftest
