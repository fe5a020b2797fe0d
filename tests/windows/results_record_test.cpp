// The results record, written by this very suite as the self-test runs it,
// and read back as the self-test reads it: the samples below run on their
// own in another run of this program, the last of them ended mid-test as a
// crash ends one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "selftest/program_support.h"
#include "selftest/scratch.h"
#include "selftest/windows_layer.h"

namespace flashgate::selftest {
namespace {

// Disabled: run only by the test below, which asks for them.
TEST(ResultsRecordSample, DISABLED_Passes) {
    std::puts("windows-layer ResultsRecordSample.DISABLED_Passes: FAIL: on the console, which no one reads");
}
TEST(ResultsRecordSample, DISABLED_Fails) { EXPECT_EQ(1 + 1, 3) << "FAIL: said\n\nover two lines, x=1"; }
TEST(ResultsRecordSample, DISABLED_FailsThenSkips) {
    ADD_FAILURE() << "first";
    GTEST_SKIP() << "then";
}
TEST(ResultsRecordSample, DISABLED_Skips) { GTEST_SKIP() << "ok: what the skip said"; }
TEST(ResultsRecordSample, DISABLED_Dies) { TerminateProcess(GetCurrentProcess(), 3); }

TEST(SuiteResultsRecord, EachTestIsOneLineInTheOrderTheyRanAndAStopNamesTheTestItWasIn) {
    const std::wstring folder = ScratchRoot() + L"\\results \u00FC", results = folder + L"\\results.txt";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    DWORD exitCode = 0;
    const std::wstring error = RunSuite(ThisProgram(), folder,
                                        L"--gtest_also_run_disabled_tests --gtest_filter=ResultsRecordSample.*",
                                        results, Watching{}, exitCode);
    const auto record = test::ReadRecordInOrder(results);
    RemoveScratch();
    ASSERT_EQ(error, L"");
    EXPECT_EQ(exitCode, 3u);

    ASSERT_EQ(record.size(), 5u);
    EXPECT_EQ(record[0], std::make_pair(std::wstring(L"ResultsRecordSample.DISABLED_Passes"), std::wstring(L"ok")));
    EXPECT_EQ(record[1].first, L"ResultsRecordSample.DISABLED_Fails");
    const std::wstring& failed = record[1].second;
    EXPECT_EQ(failed.rfind(L"FAIL: Expected equality of these values: ", 0), 0u) << failed;
    EXPECT_NE(failed.find(L" Which is: 2 "), std::wstring::npos) << failed;
    const std::wstring said = L" FAIL: said over two lines, x=1";
    EXPECT_EQ(failed.substr(failed.size() - std::min(said.size(), failed.size())), said) << failed;
    EXPECT_EQ(record[2], std::make_pair(std::wstring(L"ResultsRecordSample.DISABLED_FailsThenSkips"),
                                        std::wstring(L"FAIL: Failed first")));
    EXPECT_EQ(record[3], std::make_pair(std::wstring(L"ResultsRecordSample.DISABLED_Skips"),
                                        std::wstring(L"skipped: ok: what the skip said")));
    EXPECT_EQ(record[4], std::make_pair(std::wstring(L"running"), std::wstring(L"ResultsRecordSample.DISABLED_Dies")));

    std::vector<std::wstring> checks;
    for (const SuiteCheck& check : SuiteChecks(record, exitCode)) {
        const wchar_t* word = check.result == Report::Result::Ok       ? L"ok: "
                              : check.result == Report::Result::Failed ? L"FAIL: "
                                                                       : L"skipped: ";
        checks.push_back(word + check.detail);
    }
    EXPECT_EQ(checks, (std::vector<std::wstring>{
                          L"ok: ", failed, L"FAIL: Failed first", L"skipped: ok: what the skip said",
                          L"FAIL: the suite stopped with status 3 after 4 tests, in ResultsRecordSample.DISABLED_Dies"}));
}

}  // namespace
}  // namespace flashgate::selftest
