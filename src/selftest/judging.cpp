// The checks each scenario makes of what it saw, and the words of its line.
#include "selftest/judging.h"

#include <cwchar>

namespace flashgate::selftest {
namespace {

// What README promises a user sees; written out here, not taken from the
// program, so that a change to the program's texts shows.
struct NoticeExpected {
    unsigned long exit;
    const wchar_t* name;
    const wchar_t* title;
    const wchar_t* text;
};
constexpr NoticeExpected kAdministratorNotice{
    1, L"the administrator notice", L"Dorvanel",
    L"You must be logged in with administrator privilege in order to update the system BIOS.  "
    L"The system BIOS will not be updated."};
constexpr NoticeExpected kWrongModelNotice{2, L"the wrong-model notice", L"WinPhlash",
                                           L"This BIOS is not for your Notebook PC."};
constexpr unsigned long kStarted = 0, kNotStarted = 3;
constexpr unsigned long kUseShowWindow = 0x1;  // STARTF_USESHOWWINDOW

std::wstring Quoted(const std::wstring& text) { return L"\"" + text + L"\""; }

// The differences between what was seen and what was expected.
class Findings {
public:
    void Expect(bool met, const std::wstring& seenAndExpected) {
        if (!met) {
            text_ += (text_.empty() ? L"" : L"; ") + seenAndExpected;
        }
    }
    void Same(const wchar_t* what, const std::wstring& seen, const std::wstring& expected) {
        Expect(seen == expected, std::wstring(what) + L" " + Quoted(seen) + L", expected " + Quoted(expected));
    }
    void Same(const wchar_t* what, unsigned long seen, unsigned long expected) {
        Expect(seen == expected,
               std::wstring(what) + L" " + std::to_wstring(seen) + L", expected " + std::to_wstring(expected));
    }
    // The findings, or `ok` where there are none.
    Judgement Conclude(const std::wstring& ok) const {
        return text_.empty() ? Judgement{Report::Result::Ok, ok} : Judgement{Report::Result::Failed, text_};
    }

private:
    std::wstring text_;
};

const wchar_t* Means(Dismissal how) {
    switch (how) {
    case Dismissal::Escape: return L"the Escape key";
    case Dismissal::Close: return L"its close box";
    default: return L"its OK button";
    }
}

// Why a program that has not ended was stopped.
std::wstring Unended(const Seen& seen, const Scenario& scenario, unsigned long limitSeconds) {
    const Dismissal dismissal = scenario.dismissal;
    if (seen.unseenNotices > 0) {
        return L"notices shown: " + std::to_wstring(seen.unseenNotices) +
               (scenario.start == Start::Hidden           ? L" though flashgate.exe was started hidden"
                : scenario.start == Start::PrivateDesktop ? L" on a desktop no one switches to"
                                                          : L" on a window station no one can see") +
               L", expected 0: no one could dismiss it, and flashgate.exe would wait on it for ever";
    }
    if (seen.noOkButton) {
        return L"buttons " + Quoted(seen.notice.buttons) + L", expected \"OK\": no OK button to dismiss the notice by";
    }
    if (!seen.dismissed) {
        return L"the notice stayed up when dismissed by " + std::wstring(Means(dismissal)) + L", expected it to go";
    }
    if (seen.secondsAfterStandIn > 0) {
        return L"flashgate.exe was still running " + std::to_wstring(seen.secondsAfterStandIn) +
               L" s after WinPhlash.exe started, expected it to end at once without waiting for it";
    }
    if (seen.afterDismissal) {
        return L"flashgate.exe was still running 10 s after its notice was dismissed, expected it to end at once";
    }
    return L"flashgate.exe did not end within " + std::to_wstring(limitSeconds) +
           L" s, expected it to end once it had decided";
}

std::wstring Field(const Record& record, const wchar_t* key) {
    const auto found = record.find(key);
    return found != record.end() ? found->second : L"";
}

// The consent checks' start: the plain one, of the stand-in in the program's
// own folder.
constexpr Scenario kConsentScenario{L"elevation", Scenario::For::Admit, kOwn, Dismissal::Ok, L"the consent prompt"};

// What the program started, by two witnesses: the count of processes it
// started, and the stand-in's own record. A start that the program hands to
// a process outside its job (on Windows, WMI or the Task Scheduler would do)
// is seen only by the second.
std::wstring StartedSeen(const Seen& seen, const Record& record) {
    return L"programs started: " + std::to_wstring(seen.started) +
           (seen.startedNames.empty() ? L"" : L" (" + seen.startedNames + L")") +
           (record.empty() ? L"" : L", and WinPhlash.exe wrote that it was started");
}

std::wstring Folder(unsigned standIn) {
    return standIn & kOwn ? L"its own" : standIn & kCurrent ? L"the current" : L"the PATH";
}

// How flashgate.exe was started, where that is not the plain way.
std::wstring Started(Start start) {
    return start == Start::Hidden           ? L", though flashgate.exe was started hidden"
           : start == Start::Minimised      ? L", though flashgate.exe was started minimised"
           : start == Start::PrivateDesktop ? L", though flashgate.exe was started on a desktop no one switches to"
                                            : L"";
}

// A notice board: one notice as README shows it, met as planned, or none
// where no one could see it; the notice's exit status. Returns what an ok
// line says.
std::wstring JudgeNotice(const ScenarioRun& run, Findings& findings) {
    const Seen& seen = run.seen;
    const NoticeExpected& notice =
        run.outcome == Outcome::AdministratorNotice ? kAdministratorNotice : kWrongModelNotice;
    const Scenario& scenario = *run.scenario;
    const bool hidden = scenario.start == Start::Hidden, elsewhere = scenario.start == Start::PrivateDesktop;
    const bool shown = run.visible && scenario.dismissal != Dismissal::Unseen && !hidden && !elsewhere;
    findings.Same(L"exit status", seen.exitCode, notice.exit);
    findings.Same(L"notices shown:", seen.notices, shown ? 1 : 0);
    if (shown && seen.notices > 0) {
        findings.Same(L"title", seen.notice.title, notice.title);
        findings.Same(L"text", seen.notice.text, notice.text);
        findings.Same(L"buttons", seen.notice.buttons, L"OK");
        findings.Same(L"icon", seen.notice.icon, L"exclamation");
        findings.Expect(seen.notice.held, L"flashgate.exe did not wait on its notice, expected it to");
    }
    // Windows shows a program's first window in the show state its starter
    // asked for, so that a minimised start's notice is a taskbar button; Wine
    // shows it as it would any other.
    const std::wstring minimised =
        scenario.start != Start::Minimised ? L""
        : seen.notice.minimised            ? L", which Windows showed minimised, as a taskbar button"
                                           : L", which Windows showed normally, not minimised";
    const std::wstring met =
        shown ? notice.name + minimised + L", dismissed by " + Means(scenario.dismissal) +
                    (seen.okByCommand ? L" (its click did not take, as where the notice is not the active window: by "
                                        L"the command the button sends)"
                                      : L"")
        : hidden    ? L"no notice where flashgate.exe was started hidden"
        : elsewhere ? L"no notice on a desktop no one switches to"
                    : L"no notice where no one could see one";
    return met + L"; exit status " + std::to_wstring(notice.exit);
}

// A board that begins with "41" and no WinPhlash.exe to start: nothing at all.
std::wstring JudgeNothingToStart(const ScenarioRun& run, Findings& findings) {
    findings.Same(L"exit status", run.seen.exitCode, kNotStarted);
    findings.Same(L"notices shown:", run.seen.notices, 0);
    return L"nothing shown, nothing started; exit status 3";
}

// A board that begins with "41": WinPhlash.exe started once, as the program
// names it, from the folder Windows picks, shown normally, not waited for.
std::wstring JudgeStart(const ScenarioRun& run, Findings& findings) {
    const Seen& seen = run.seen;
    const Record& record = run.record;
    findings.Same(L"exit status", seen.exitCode, kStarted);
    findings.Same(L"notices shown:", seen.notices, 0);
    findings.Expect(seen.started == 1, StartedSeen(seen, {}) + L", expected 1");
    findings.Expect(seen.runningAtEnd == 1 || seen.started != 1,
                    L"WinPhlash.exe had ended when flashgate.exe did, expected it to run on by itself");
    findings.Same(L"WinPhlash.exe's command line", Field(record, L"command_line"), L"WinPhlash.exe");
    findings.Same(L"WinPhlash.exe's show state", Field(record, L"show"), L"1");
    findings.Expect(std::wcstoul(Field(record, L"flags").c_str(), nullptr, 10) & kUseShowWindow,
                    L"STARTF_USESHOWWINDOW is not set, expected the show state to be passed");
    findings.Expect(run.fromExpected, L"WinPhlash.exe started from " + Quoted(Field(record, L"path")) +
                                          L", expected " + Quoted(run.expectedFrom));
    return L"WinPhlash.exe started from " + Folder(run.scenario->standIn) + L" folder, shown normally, not waited for" +
           (run.scenario->dismissal == Dismissal::Unseen ? L", on a window station no one can see" : L"") +
           Started(run.scenario->start) + L"; exit status 0";
}

}  // namespace

std::wstring NotForThisBoard(const Scenario& scenario, Outcome outcome) {
    const bool admit = outcome == Outcome::Admit;
    if (scenario.board == Scenario::For::Admit && !admit) {
        return L"for a board whose Version begins with \"41\"; this one gets a notice";
    }
    if (scenario.board == Scenario::For::Notice && admit) {
        return L"for a board that gets a notice; this one's Version begins with \"41\"";
    }
    return L"";
}

Judgement Judge(const ScenarioRun& run) {
    // The self-test's own failures (the program could not be started or
    // watched) are not faults of the program, and no faulty program shows them.
    if (!run.seen.error.empty()) {
        return {Report::Result::Failed, run.seen.error};
    }
    if (!run.seen.ended) {
        return {Report::Result::Failed, Unended(run.seen, *run.scenario, run.limitSeconds)};
    }
    Findings findings;
    findings.Same(L"windows other than notices:", run.seen.otherWindows, 0);
    const bool admit = run.outcome == Outcome::Admit, nothingToStart = run.scenario->standIn == kNowhere;
    if (!admit || nothingToStart) {
        findings.Expect(run.seen.started == 0 && run.record.empty(), StartedSeen(run.seen, run.record) + L", expected 0");
    }
    std::wstring ok = !admit          ? JudgeNotice(run, findings)
                      : nothingToStart ? JudgeNothingToStart(run, findings)
                                       : JudgeStart(run, findings);
    if (run.seen.watchedWithoutJob) {
        ok += L"; watched without a job, which Windows would not let the self-test make";
    }
    return findings.Conclude(ok);
}

Judgement JudgeElevation(const ElevationRun& run) {
    Findings findings;
    if (!run.seen.error.empty() || !run.seen.ended) {
        findings.Expect(false, run.seen.error.empty() ? Unended(run.seen, kConsentScenario, run.limitSeconds)
                                                      : run.seen.error);
    } else if (run.accept) {
        findings.Same(L"exit status", run.seen.exitCode, kStarted);
        findings.Same(L"WinPhlash.exe ran elevated:", run.record.empty() ? L"not started" : Field(run.record, L"elevated"),
                      L"yes");
        findings.Expect(run.fromOwnFolder, L"WinPhlash.exe did not start from the program's own folder, expected it to");
        findings.Expect(run.inCurrentFolder, L"WinPhlash.exe ran in " + Quoted(Field(run.record, L"current")) +
                                                 L", expected flashgate.exe's current folder " +
                                                 Quoted(run.expectedCurrent));
    } else {
        findings.Same(L"exit status", run.seen.exitCode, kNotStarted);
        findings.Expect(run.record.empty(), L"WinPhlash.exe was started, expected nothing to be once declined");
    }
    findings.Same(L"notices shown:", run.seen.notices, 0);
    return findings.Conclude(run.accept ? L"consent given, WinPhlash.exe ran elevated; exit status 0"
                                        : L"consent declined, nothing more shown; exit status 3");
}

Judgement JudgePromptInFront(bool handedOn, wchar_t answer) {
    if (!handedOn) {
        return {Report::Result::Skipped,
                L"the self-test did not hold the foreground to hand on to flashgate.exe, as Explorer does on a "
                L"double-click: run it from a console window in front, and answer no other window meanwhile"};
    }
    switch (answer) {
    case L'y':
    case L'Y': return {Report::Result::Ok, L"the consent prompt came to the front by itself"};
    case L'n':
    case L'N':
        return {Report::Result::Failed,
                L"the consent prompt waited in the taskbar, expected it to come to the front by itself for a "
                L"program its starter put in the foreground"};
    default: return {Report::Result::Skipped, L"no answer (y or n) was given"};
    }
}

}  // namespace flashgate::selftest
