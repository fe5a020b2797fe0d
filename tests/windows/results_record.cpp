// The results record (see results_record.h), kept by a GoogleTest event
// listener beside the console printer.
#include "results_record.h"

#include "selftest/program_support.h"

namespace flashgate::test {
namespace {

std::wstring NameOf(const testing::TestInfo& test) {
    return FromUtf8(test.test_suite_name()) + L"." + FromUtf8(test.name());
}

// `said` with an assertion's message added, its lines joined by spaces.
void Add(std::wstring& said, const char* message) {
    for (const std::wstring& line : Lines(FromUtf8(message))) {
        if (!line.empty()) {
            said += (said.empty() ? L"" : L" ") + line;
        }
    }
}

}  // namespace

bool ResultsRecord::Begin() const { return Write(L""); }

void ResultsRecord::OnTestStart(const testing::TestInfo& test) {
    failed_.clear();
    skipped_.clear();
    Write(L"running=" + NameOf(test) + L"\n");
}

void ResultsRecord::OnTestPartResult(const testing::TestPartResult& assertion) {
    if (assertion.failed()) {
        Add(failed_, assertion.message());
    } else if (assertion.skipped()) {
        Add(skipped_, assertion.message());
    }
}

void ResultsRecord::OnTestEnd(const testing::TestInfo& test) {
    const testing::TestResult& result = *test.result();
    ended_ += NameOf(test) + L"=" +
              (result.Failed()    ? L"FAIL: " + failed_
               : result.Skipped() ? L"skipped: " + skipped_
                                  : L"ok") +
              L"\n";
    Write(L"");
}

void ResultsRecord::OnTestProgramEnd(const testing::UnitTest&) { Write(L"ended=yes\n"); }

bool ResultsRecord::Write(const std::wstring& last) const { return WriteUtf8(path_, ended_ + last); }

}  // namespace flashgate::test
