// What the self-test writes: a head of facts, one line a check (ok, FAIL or
// skipped, each with what it saw) and the count, to the console and, when
// asked, to a file a vendor can attach to a ticket.
#pragma once

#include <string>

namespace flashgate::selftest {

// One line to standard error: what went wrong and what to do.
void ErrorLine(const std::wstring& text);

class Report {
public:
    // NotApplicable: skipped for what the board or the session explains (a
    // start on a board that gets a notice, say). Skipped: for anything else,
    // a failure where such skips are not allowed.
    enum class Result { Ok, Failed, Skipped, NotApplicable };

    // With `unexplainedSkipsFail`, a check skipped for any other reason than
    // the board or the session counts as failed (--no-unexplained-skips).
    // Without `toConsole`, lines are only kept for WriteTo (for tests).
    explicit Report(bool unexplainedSkipsFail = false, bool toConsole = true)
        : unexplainedSkipsFail_(unexplainedSkipsFail), toConsole_(toConsole) {}

    // A line of the head, or a line for a person to act on.
    void Line(const std::wstring& text);

    // "NAME: ok[: DETAIL]", "NAME: FAIL: DETAIL" or "NAME: skipped: DETAIL".
    void Check(const std::wstring& name, Result result, const std::wstring& detail);

    // "N passed, M failed, K skipped", alone on the last line.
    void Summary();

    bool failed() const { return failed_ > 0; }

    // The whole report, with Windows line ends.
    bool WriteTo(const std::wstring& path) const;

private:
    bool unexplainedSkipsFail_;
    bool toConsole_;
    std::wstring text_;
    unsigned passed_ = 0, failed_ = 0, skipped_ = 0;
};

}  // namespace flashgate::selftest
