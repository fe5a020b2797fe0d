// Each scenario in a folder of its own; the checks the end-to-end suites
// made, now made here, so that Wine and Windows run the same ones.
#include "selftest/scenarios.h"

#include <windows.h>

#include <map>
#include <vector>

#include "selftest/machine.h"
#include "selftest/program_support.h"
#include "selftest/scratch.h"
#include "selftest/search_order.h"

namespace flashgate::selftest {
namespace {

// What README promises a user sees; written out here, not taken from the
// program, so that a change to the program's texts shows.
struct NoticeExpected {
    DWORD exit;
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
constexpr DWORD kStarted = 0, kNotStarted = 3;

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
    const std::wstring& text() const { return text_; }

private:
    std::wstring text_;
};

// A fresh folder for one scenario: own\flashgate.exe, current\ and on-path\,
// with the stand-in as WinPhlash.exe in the folders the scenario names.
struct Layout {
    std::wstring folder, own, current, onPath, program, record, hold;
    std::vector<std::wstring> standIns;  // the WinPhlash.exe files put here

    Layout(const wchar_t* name, const std::wstring& gate, const std::wstring& standIn, unsigned standInFolders) {
        static unsigned laidOut = 0;
        folder = ScratchRoot() + L"\\" + std::to_wstring(++laidOut) + L"-" + name;
        own = folder + L"\\own";
        current = folder + L"\\current";
        onPath = folder + L"\\on-path";
        program = own + L"\\flashgate.exe";
        record = folder + L"\\stand-in-record.txt";
        hold = folder + L"\\hold";
        for (const std::wstring* made : {&folder, &own, &current, &onPath}) {
            CreateDirectoryW(made->c_str(), nullptr);
        }
        copied = CopyFileW(gate.c_str(), program.c_str(), TRUE);
        for (const auto& [bit, where] : {std::pair{kOwn, &own}, {kCurrent, &current}, {kOnPath, &onPath}}) {
            if (standInFolders & bit) {
                standIns.push_back(*where + L"\\WinPhlash.exe");
                copied = copied && CopyFileW(standIn.c_str(), standIns.back().c_str(), TRUE);
            }
        }
    }
    ~Layout() { RemoveTree(folder); }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    std::wstring Path() const { return SystemPath() + L";" + onPath; }

    // A WinPhlash.exe that a start from the program, on the folders and PATH
    // the plan gives it, could reach and that is not a stand-in put here, or
    // empty.
    std::wstring Foreign() const {
        return test::FirstNotOurs(test::ProcessCreationSearchFolders(own, current, Path()), L"WinPhlash.exe", standIns);
    }

    MeetingPlan Plan(Dismissal dismissal, const Watching& watching) const {
        MeetingPlan plan;
        plan.program = program;
        plan.currentFolder = current;
        plan.environment = EnvironmentBlock({{L"PATH", Path()}, {L"FLASHGATE_STANDIN_RECORD", record},
                                             {L"FLASHGATE_STANDIN_HOLD", hold}},
                                            {L"NoDefaultCurrentDirectoryInExePath"});
        plan.dismissal = dismissal;
        plan.standInRecord = record;
        plan.holdFile = hold;
        plan.watching = watching;
        return plan;
    }

    bool copied = false;
};

// Never starts a flash utility that is not the stand-in: the look at what the
// program's start would reach comes just before the program is started, in
// this process, on the very folders and environment it gets. Returns the
// meeting, or sets `skipped` to why there was none.
Meeting MeetIfSafe(const Layout& layout, const MeetingPlan& plan, std::wstring& skipped) {
    if (const std::wstring reached = layout.Foreign(); !reached.empty()) {
        skipped = L"a start of WinPhlash.exe could reach " + reached + L", which is not the self-test's stand-in";
        return {};
    }
    return Meet(plan);
}

const wchar_t* Means(Dismissal how) {
    switch (how) {
    case Dismissal::Escape: return L"the Escape key";
    case Dismissal::Close: return L"its close box";
    default: return L"its OK button";
    }
}

// Why a program that has not ended was stopped.
std::wstring Unended(const Meeting& meeting, const MeetingPlan& plan) {
    if (meeting.unseenNotices > 0) {
        return L"notices shown: " + std::to_wstring(meeting.unseenNotices) +
               L" on a window station no one can see, expected 0: no one could dismiss it, and flashgate.exe would "
               L"wait on it for ever";
    }
    if (meeting.noOkButton) {
        return L"buttons " + Quoted(meeting.notice.buttons) + L", expected \"OK\": no OK button to dismiss the notice by";
    }
    if (!meeting.dismissed) {
        return L"the notice stayed up when dismissed by " + std::wstring(Means(plan.dismissal)) + L", expected it to go";
    }
    if (meeting.secondsAfterStandIn > 0) {
        return L"flashgate.exe was still running " + std::to_wstring(meeting.secondsAfterStandIn) +
               L" s after WinPhlash.exe started, expected it to end at once without waiting for it";
    }
    if (meeting.afterDismissal) {
        return L"flashgate.exe was still running 10 s after its notice was dismissed, expected it to end at once";
    }
    return L"flashgate.exe did not end within " + std::to_wstring(plan.programLimitMs / 1000) +
           L" s, expected it to end once it had decided";
}

using Record = std::map<std::wstring, std::wstring>;

std::wstring Field(const Record& record, const wchar_t* key) {
    return record.count(key) != 0 ? record.at(key) : L"";
}

// What the program started, by two witnesses: the count of processes it
// started, and the stand-in's own record. A start that the program hands to
// a process outside its job (on Windows, WMI or the Task Scheduler would do)
// is seen only by the second.
std::wstring StartedSeen(const Meeting& meeting, const Record& record) {
    return L"programs started: " + std::to_wstring(meeting.started) +
           (meeting.startedNames.empty() ? L"" : L" (" + meeting.startedNames + L")") +
           (record.empty() ? L"" : L", and WinPhlash.exe wrote that it was started");
}

std::wstring Folder(unsigned standIn) {
    return standIn & kOwn ? L"its own" : standIn & kCurrent ? L"the current" : L"the PATH";
}

}  // namespace

void RunScenario(const Scenario& scenario, const ScenarioSetting& setting, Report& report) {
    const bool admit = setting.outcome == Outcome::Admit;
    if ((scenario.board == Scenario::For::Admit && !admit) || (scenario.board == Scenario::For::Notice && admit)) {
        report.Check(scenario.name, Report::Result::NotApplicable,
                     admit ? L"for a board that gets a notice; this one's Version begins with \"41\""
                           : L"for a board whose Version begins with \"41\"; this one gets a notice");
        return;
    }
    const Layout layout(scenario.name, setting.program, setting.standIn, scenario.standIn);
    if (!layout.copied) {
        report.Check(scenario.name, Report::Result::Failed,
                     L"cannot lay out " + layout.folder + L": error " + std::to_wstring(GetLastError()));
        return;
    }
    MeetingPlan plan = layout.Plan(scenario.dismissal, setting.watching);
    plan.pictureBase = setting.pictureBase;
    std::wstring skipped;
    const Meeting meeting = MeetIfSafe(layout, plan, skipped);
    if (!skipped.empty()) {
        report.Check(scenario.name, Report::Result::Skipped, skipped);
        return;
    }
    // The self-test's own failures (the program could not be started or
    // watched) are not faults of the program, and no faulty program shows them.
    if (!meeting.error.empty()) {
        report.Check(scenario.name, Report::Result::Failed, meeting.error);
        return;
    }
    if (!meeting.ended) {
        report.Check(scenario.name, Report::Result::Failed, Unended(meeting, plan));
        return;
    }
    const Record record = test::ReadRecord(layout.record);
    Findings findings;
    std::wstring seen;
    findings.Same(L"windows other than notices:", meeting.otherWindows, 0);
    const bool shown = setting.visible && scenario.dismissal != Dismissal::Unseen;
    if (!admit || scenario.standIn == kNowhere) {
        findings.Expect(meeting.started == 0 && record.empty(), StartedSeen(meeting, record) + L", expected 0");
    }
    if (!admit) {
        const NoticeExpected& notice =
            setting.outcome == Outcome::AdministratorNotice ? kAdministratorNotice : kWrongModelNotice;
        findings.Same(L"exit status", meeting.exitCode, notice.exit);
        findings.Same(L"notices shown:", meeting.notices, shown ? 1 : 0);
        if (shown && meeting.notices > 0) {
            findings.Same(L"title", meeting.notice.title, notice.title);
            findings.Same(L"text", meeting.notice.text, notice.text);
            findings.Same(L"buttons", meeting.notice.buttons, L"OK");
            findings.Same(L"icon", meeting.notice.icon, L"exclamation");
            findings.Expect(meeting.notice.held, L"flashgate.exe did not wait on its notice, expected it to");
        }
        seen = std::wstring(shown ? notice.name + std::wstring(L", dismissed by ") + Means(scenario.dismissal) +
                                        (meeting.okByCommand
                                             ? L" (its click did not take, as where the notice is not the active "
                                               L"window: by the command the button sends)"
                                             : L"")
                                  : L"no notice where no one could see one") +
               L"; exit status " + std::to_wstring(notice.exit);
    } else if (scenario.standIn == kNowhere) {
        findings.Same(L"exit status", meeting.exitCode, kNotStarted);
        findings.Same(L"notices shown:", meeting.notices, 0);
        seen = L"nothing shown, nothing started; exit status 3";
    } else {
        findings.Same(L"exit status", meeting.exitCode, kStarted);
        findings.Same(L"notices shown:", meeting.notices, 0);
        findings.Expect(meeting.started == 1, StartedSeen(meeting, {}) + L", expected 1");
        findings.Expect(meeting.runningAtEnd == 1 || meeting.started != 1,
                        L"WinPhlash.exe had ended when flashgate.exe did, expected it to run on by itself");
        findings.Same(L"WinPhlash.exe's command line", Field(record, L"command_line"), L"WinPhlash.exe");
        findings.Same(L"WinPhlash.exe's show state", Field(record, L"show"), L"1");
        findings.Expect(std::wcstoul(Field(record, L"flags").c_str(), nullptr, 10) & STARTF_USESHOWWINDOW,
                        L"STARTF_USESHOWWINDOW is not set, expected the show state to be passed");
        const std::wstring expected =
            (scenario.standIn & kOwn ? layout.own : scenario.standIn & kCurrent ? layout.current : layout.onPath) +
            L"\\WinPhlash.exe";
        const std::wstring startedFrom = Field(record, L"path");
        findings.Expect(SameFile(startedFrom, expected), L"WinPhlash.exe started from " + Quoted(startedFrom) +
                                                             L", expected " + Quoted(expected));
        seen = L"WinPhlash.exe started from " + Folder(scenario.standIn) +
               L" folder, shown normally, not waited for" +
               (scenario.dismissal == Dismissal::Unseen ? L", on a window station no one can see" : L"") +
               L"; exit status 0";
    }
    if (meeting.watchedWithoutJob) {
        seen += L"; watched without a job, which Windows would not let the self-test make";
    }
    report.Check(scenario.name, findings.text().empty() ? Report::Result::Ok : Report::Result::Failed,
                 findings.text().empty() ? seen : findings.text());
}

void RunElevationScenario(bool accept, const ScenarioSetting& setting, Report& report) {
    // These checks need a person to answer Windows' consent prompt, which
    // Wine has not: no faulty program is run beside them, and the rules that
    // decide whether Windows would ask are tested on their own.
    const wchar_t* name = accept ? L"elevation-accepted" : L"elevation-declined";
    if (setting.outcome != Outcome::Admit) {
        report.Check(name, Report::Result::NotApplicable,
                     L"for a board whose Version begins with \"41\"; this one gets a notice");
        return;
    }
    if (const std::wstring why = WhyNoConsentPrompt(); !why.empty()) {
        report.Check(name, Report::Result::NotApplicable, why);
        return;
    }
    const Layout layout(name, setting.program, setting.elevatedStandIn, kOwn);
    if (!layout.copied) {
        report.Check(name, Report::Result::Failed, L"cannot lay out " + layout.folder);
        return;
    }
    report.Line(std::wstring(L"Windows now asks whether WinPhlash.exe (the self-test's stand-in, which changes "
                             L"nothing) may make changes: answer ") +
                (accept ? L"Yes." : L"No."));
    MeetingPlan plan = layout.Plan(Dismissal::Ok, setting.watching);
    plan.programLimitMs = 120000;
    std::wstring skipped;
    const Meeting meeting = MeetIfSafe(layout, plan, skipped);
    if (!skipped.empty()) {
        report.Check(name, Report::Result::Skipped, skipped);
        return;
    }
    // The elevated stand-in was started by Windows, outside the meeting's job.
    for (int waited = 0; waited < 10000 && !test::ReadRecord(layout.record).count(L"ended"); waited += 100) {
        Sleep(100);
    }
    const Record record = test::ReadRecord(layout.record);
    Findings findings;
    if (!meeting.error.empty() || !meeting.ended) {
        findings.Expect(false, meeting.error.empty() ? Unended(meeting, plan) : meeting.error);
    } else if (accept) {
        findings.Same(L"exit status", meeting.exitCode, kStarted);
        findings.Same(L"WinPhlash.exe ran elevated:", record.empty() ? L"not started" : Field(record, L"elevated"), L"yes");
        findings.Expect(SameFile(Field(record, L"path"), layout.own + L"\\WinPhlash.exe"),
                        L"WinPhlash.exe did not start from the program's own folder, expected it to");
    } else {
        findings.Same(L"exit status", meeting.exitCode, kNotStarted);
        findings.Expect(record.empty(), L"WinPhlash.exe was started, expected nothing to be once declined");
    }
    findings.Same(L"notices shown:", meeting.notices, 0);
    report.Check(name, findings.text().empty() ? Report::Result::Ok : Report::Result::Failed,
                 findings.text().empty() ? (accept ? L"consent given, WinPhlash.exe ran elevated; exit status 0"
                                                   : L"consent declined, nothing more shown; exit status 3")
                                         : findings.text());
}

}  // namespace flashgate::selftest
