// Runs the self-test once for each row of the end-to-end table, in one Wine
// process tree: a Windows program started from Linux costs seconds in the
// emulated PC, one started by a Windows program a fraction of that.
//
//   board_rows BOARD_FILE SELFTEST [--reports FOLDER] ROW...
//   ROW: VERSION=SCENARIOS or no-wmi=SCENARIOS
//
// Run it under scripts/lib/with-board --file BOARD_FILE, whose private
// namespace shows that file as the board's Version: for each row it writes
// VERSION there, as with-board does (and 41B for no-wmi, whose Wine WMI is
// switched off, so that a WMI that still answered would be caught), then
// runs the self-test with those scenarios. A row passes when the self-test
// passes and skipped none of them. Exits 0 when every row passed. With
// --reports, each row's report is kept in FOLDER as row-N.txt.
#include <windows.h>

#include <string>

#include "program_support.h"

namespace {

void Say(const std::wstring& line) {
    const std::string bytes = flashgate::test::Utf8(line + L"\n");
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// Writes the board's Version as the kernel does, in place: the namespace
// shows this very file, not whatever a rename would put at its name.
bool SetBoard(const std::wstring& file, const std::wstring& version) {
    const flashgate::test::UniqueFile board(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                        TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::string bytes = flashgate::test::Utf8(version + L"\n");
    DWORD written = 0;
    return board && WriteFile(board.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Switches Wine's WMI off, or back on, for every program started after:
// through Wine's DLL overrides in the registry, since a program's own
// environment does not reach the overrides of those it starts.
void SwitchWmi(bool on) {
    flashgate::test::UniqueKey overrides;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\DllOverrides", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        overrides.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    for (const wchar_t* dll : {L"wbemdisp", L"wbemprox"}) {
        if (on) {
            RegDeleteValueW(overrides.get(), dll);
        } else {
            RegSetValueExW(overrides.get(), dll, 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
        }
    }
}

// Runs the self-test with our standard handles, without a console of its own.
DWORD RunSelfTest(const std::wstring& selfTest, const std::wstring& scenarios, const std::wstring& report) {
    std::wstring commandLine = L"\"" + selfTest + L"\" --scenarios " + scenarios + L" --report \"" + report + L"\"";
    STARTUPINFOW startup = flashgate::test::WithOurStandardHandles();
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(selfTest.c_str(), commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &started)) {
        return GetLastError() | 0x10000;
    }
    const flashgate::test::UniqueProcessInformation run(started);
    DWORD status = STILL_ACTIVE;
    if (WaitForSingleObject(run.process(), 15 * 60 * 1000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(run.process(), &status);
    } else {
        TerminateProcess(run.process(), STILL_ACTIVE);
    }
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int first = 3;
    std::wstring kept;
    if (argc > 4 && std::wstring(argv[3]) == L"--reports") {
        kept = argv[4];
        first = 5;
    }
    if (argc <= first) {
        Say(L"usage: board_rows BOARD_FILE SELFTEST [--reports FOLDER] VERSION=SCENARIOS|no-wmi=SCENARIOS...");
        return 64;
    }
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    const std::wstring report = std::wstring(temp) + L"board-rows-report.txt";
    int failed = 0;
    for (int i = first; i < argc; ++i) {
        const std::wstring row = argv[i];
        const size_t equals = row.rfind(L'=');
        const std::wstring board = row.substr(0, equals), scenarios = row.substr(equals + 1);
        const bool noWmi = board == L"no-wmi";
        Say(L"==> board " + (noWmi ? L"41B with Wine's WMI switched off" : L"\"" + board + L"\"") + L": " + scenarios);
        if (!SetBoard(argv[1], noWmi ? L"41B" : board)) {
            Say(L"cannot write the board's Version to " + std::wstring(argv[1]) + L": error " +
                std::to_wstring(GetLastError()));
            return 2;
        }
        SwitchWmi(!noWmi);
        DeleteFileW(report.c_str());
        const ULONGLONG began = GetTickCount64();
        const DWORD status = RunSelfTest(argv[2], scenarios, report);
        Say(L"    (" + std::to_wstring((GetTickCount64() - began) / 1000) + L" s)");
        if (!kept.empty()) {
            CopyFileW(report.c_str(), (kept + L"\\row-" + std::to_wstring(i - first + 1) + L".txt").c_str(), FALSE);
        }
        const auto lines = flashgate::test::Lines(flashgate::test::ReadUtf8(report));
        const std::wstring summary = lines.empty() ? L"" : lines.back();
        if (status != 0 || summary.size() < 20 || summary.compare(summary.size() - 20, 20, L" 0 failed, 0 skipped") != 0) {
            Say(L"ROW FAILED: the self-test ended with status " + std::to_wstring(status) + L" and \"" + summary +
                L"\", expected 0 and nothing failed or skipped");
            ++failed;
        }
    }
    SwitchWmi(true);
    DeleteFileW(report.c_str());
    Say(std::to_wstring(argc - first - failed) + L" of " + std::to_wstring(argc - first) + L" rows passed");
    return failed == 0 ? 0 : 1;
}
