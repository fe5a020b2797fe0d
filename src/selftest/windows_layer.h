// The Windows-layer checks that need no particular board: the GoogleTest
// suite of flashgate's Windows side, run from a folder of its own with the
// stand-in beside it, one report line a test.
#pragma once

#include <string>
#include <vector>

#include "selftest/process_tree.h"
#include "selftest/report.h"

namespace flashgate::selftest {

inline constexpr wchar_t kWindowsLayerCheck[] = L"windows-layer";

void RunWindowsLayer(const std::wstring& selfFolder, const Watching& watching, Report& report);

// One test of the suite as GoogleTest reported it, with what it said.
struct SuiteTest {
    std::wstring name;
    Report::Result result;
    std::wstring said;
};

// The tests GoogleTest's output reports as ended, in order; `running` is
// left naming a test that began and did not end (the suite stopped in it).
std::vector<SuiteTest> ReadGoogleTestOutput(const std::wstring& output, std::wstring& running, std::wstring& said);

}  // namespace flashgate::selftest
