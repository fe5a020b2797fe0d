// The suite's results as data, for the self-test to read: with --results
// FILE, the suite keeps FILE a record of UTF-8 key=value lines, written whole
// (test::WriteUtf8) as each test begins and ends, and once all have run:
//
//   Suite.Test=ok
//   Suite.Test=FAIL: what each failed assertion said, its lines joined by spaces
//   Suite.Test=skipped: what the skip said
//   running=Suite.Test    last, while that test runs
//   ended=yes             last, once every test has run and the program ends
//
// One line a test, in the order they ran. A test's name always holds a ".",
// the record's own keys none; what a test said holds no line break.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace flashgate::test {

class ResultsRecord : public testing::EmptyTestEventListener {
public:
    explicit ResultsRecord(std::wstring path) : path_(std::move(path)) {}

    // Writes the record with no test in it yet; false where FILE cannot be written.
    bool Begin() const;

private:
    void OnTestStart(const testing::TestInfo& test) override;
    void OnTestPartResult(const testing::TestPartResult& assertion) override;
    void OnTestEnd(const testing::TestInfo& test) override;
    void OnTestProgramEnd(const testing::UnitTest& unitTest) override;

    bool Write(const std::wstring& last) const;

    std::wstring path_;
    std::wstring ended_;             // a line a test that has ended
    std::wstring failed_, skipped_;  // what the running test's failures, and its skip, said
};

}  // namespace flashgate::test
