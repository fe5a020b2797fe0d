// The Windows-layer checks that need no particular board: the GoogleTest
// suite of flashgate's Windows side, run from a folder of its own with the
// stand-in beside it, one report line a test, read from the results record
// the suite writes (tests/windows/results_record.h).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "selftest/process_tree.h"
#include "selftest/report.h"

namespace flashgate::selftest {

inline constexpr wchar_t kWindowsLayerCheck[] = L"windows-layer";

void RunWindowsLayer(const std::wstring& selfFolder, const Watching& watching, Report& report);

// Runs the suite `program` in `folder` with `arguments`, its results
// recorded in `results` and its console output sent nowhere, and sets
// `exitCode`, STILL_ACTIVE where it did not end within ten minutes and was
// ended. Returns why it could not be started, or nothing.
std::wstring RunSuite(const std::wstring& program, const std::wstring& folder, const std::wstring& arguments,
                      const std::wstring& results, const Watching& watching, DWORD& exitCode);

// One line of the report.
struct SuiteCheck {
    std::wstring name;
    Report::Result result;
    std::wstring detail;
};

// The checks one run of the suite makes, from its results record (as
// ReadRecordInOrder reads it) and its exit status, STILL_ACTIVE where it had
// to be ended: one a recorded test, in the order they ran, then one for the
// suite itself where the run went wrong (it did not end in time, wrote no
// results, stopped before its end, or ended with a status that no failed test
// explains), naming the test it was in.
std::vector<SuiteCheck> SuiteChecks(const std::vector<std::pair<std::wstring, std::wstring>>& results, DWORD exitCode);

}  // namespace flashgate::selftest
