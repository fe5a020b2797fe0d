// Each scenario in a folder of its own; the checks the end-to-end suites
// made, now made here, so that Wine and Windows run the same ones.
#include "selftest/scenarios.h"

#include <windows.h>

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
                copied = copied && CopyFileW(standIn.c_str(), (*where + L"\\WinPhlash.exe").c_str(), TRUE);
            }
        }
    }
    ~Layout() { RemoveTree(folder); }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    std::wstring Path() const { return SystemPath() + L";" + onPath; }

    // The file a start of "WinPhlash.exe" would reach, before anything is started.
    std::wstring Reached() const { return test::FirstFound(test::ProcessCreationSearchFolders(own, current, Path()), L"WinPhlash.exe"); }

    bool Ours(const std::wstring& file) const {
        return file.size() > folder.size() && file[folder.size()] == L'\\' &&
               CompareStringOrdinal(file.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                    static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
    }

    MeetingPlan Plan(Dismissal dismissal) const {
        MeetingPlan plan;
        plan.program = program;
        plan.currentFolder = current;
        plan.environment = EnvironmentBlock({{L"PATH", Path()}, {L"FLASHGATE_STANDIN_RECORD", record},
                                             {L"FLASHGATE_STANDIN_HOLD", hold}},
                                            {L"NoDefaultCurrentDirectoryInExePath"});
        plan.dismissal = dismissal;
        plan.standInRecord = record;
        plan.holdFile = hold;
        return plan;
    }

    bool copied = false;
};

const wchar_t* Means(Dismissal how) {
    switch (how) {
    case Dismissal::Escape: return L"the Escape key";
    case Dismissal::Close: return L"its close box";
    default: return L"its OK button";
    }
}

// Why a program that has not ended was stopped.
std::wstring Unended(const Meeting& meeting, const MeetingPlan& plan) {
    const wchar_t* how = Means(plan.dismissal);
    if (!meeting.dismissed) {
        return L"the notice stayed up when dismissed by " + std::wstring(how) + L", expected it to go";
    }
    if (meeting.secondsAfterStandIn > 0) {
        return L"flashgate.exe was still running " + std::to_wstring(meeting.secondsAfterStandIn) +
               L" s after WinPhlash.exe started, expected it to end at once without waiting for it";
    }
    return L"flashgate.exe did not end within " + std::to_wstring(plan.programLimitMs / 1000) + L" s, expected it to end once " +
           std::wstring(meeting.notices > 0 ? L"its notice was dismissed" : L"it had decided");
}

// How many programs flashgate.exe started, and which were seen.
void StartedCount(Findings& findings, const Meeting& meeting, unsigned expected) {
    findings.Expect(meeting.started == expected,
                    L"programs started: " + std::to_wstring(meeting.started) +
                        (meeting.startedNames.empty() ? L"" : L" (" + meeting.startedNames + L")") + L", expected " +
                        std::to_wstring(expected));
}

std::wstring Folder(unsigned standIn) {
    return standIn & kOwn ? L"its own" : standIn & kCurrent ? L"the current" : L"the PATH";
}

}  // namespace

void RunScenario(const Scenario& scenario, const ScenarioSetting& setting, Report& report) {
    const bool admit = setting.outcome == Outcome::Admit;
    if ((scenario.board == Scenario::For::Admit && !admit) || (scenario.board == Scenario::For::Notice && admit)) {
        report.Check(scenario.name, Report::Result::Skipped,
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
    // Never start a flash utility that is not the stand-in.
    const std::wstring reached = layout.Reached();
    if (!reached.empty() && !layout.Ours(reached)) {
        report.Check(scenario.name, Report::Result::Skipped,
                     L"a start of WinPhlash.exe would reach " + reached + L", which is not the self-test's stand-in");
        return;
    }
    MeetingPlan plan = layout.Plan(scenario.dismissal);
    plan.pictureBase = setting.pictureBase;
    const Meeting meeting = Meet(plan);
    if (!meeting.error.empty()) {
        report.Check(scenario.name, Report::Result::Failed, meeting.error);
        return;
    }
    if (!meeting.ended) {
        report.Check(scenario.name, Report::Result::Failed, Unended(meeting, plan));
        return;
    }
    const auto record = test::ReadRecord(layout.record);
    Findings findings;
    std::wstring seen;
    findings.Same(L"windows other than notices:", meeting.otherWindows, 0);
    const bool shown = setting.visible && scenario.dismissal != Dismissal::Unseen;
    if (!admit) {
        const NoticeExpected& notice =
            setting.outcome == Outcome::AdministratorNotice ? kAdministratorNotice : kWrongModelNotice;
        findings.Same(L"exit status", meeting.exitCode, notice.exit);
        StartedCount(findings, meeting, 0);
        findings.Same(L"notices shown:", meeting.notices, shown ? 1 : 0);
        if (shown && meeting.notices > 0) {
            findings.Same(L"title", meeting.notice.title, notice.title);
            findings.Same(L"text", meeting.notice.text, notice.text);
            findings.Same(L"buttons", meeting.notice.buttons, L"OK");
            findings.Same(L"icon", meeting.notice.icon, L"exclamation");
            findings.Expect(meeting.notice.held, L"flashgate.exe did not wait on its notice, expected it to");
        }
        seen = std::wstring(shown ? notice.name + std::wstring(L", dismissed by ") + Means(scenario.dismissal)
                                  : L"no notice where no one could see one") +
               L"; exit status " + std::to_wstring(notice.exit);
    } else if (scenario.standIn == kNowhere) {
        findings.Same(L"exit status", meeting.exitCode, kNotStarted);
        StartedCount(findings, meeting, 0);
        findings.Same(L"notices shown:", meeting.notices, 0);
        seen = L"nothing shown, nothing started; exit status 3";
    } else {
        findings.Same(L"exit status", meeting.exitCode, kStarted);
        findings.Same(L"notices shown:", meeting.notices, 0);
        StartedCount(findings, meeting, 1);
        findings.Expect(meeting.runningAtEnd == 1 || meeting.started != 1,
                        L"WinPhlash.exe had ended when flashgate.exe did, expected flashgate.exe not to wait for it");
        findings.Same(L"WinPhlash.exe's command line", record.count(L"command_line") ? record.at(L"command_line") : L"",
                      L"WinPhlash.exe");
        findings.Same(L"WinPhlash.exe's show state", record.count(L"show") ? record.at(L"show") : L"", L"1");
        findings.Expect(record.count(L"flags") && (std::wcstoul(record.at(L"flags").c_str(), nullptr, 10) & STARTF_USESHOWWINDOW),
                        L"STARTF_USESHOWWINDOW is not set, expected the show state to be passed");
        const std::wstring expected =
            (scenario.standIn & kOwn ? layout.own : scenario.standIn & kCurrent ? layout.current : layout.onPath) +
            L"\\WinPhlash.exe";
        const std::wstring startedFrom = record.count(L"path") ? record.at(L"path") : L"";
        findings.Expect(SameFile(startedFrom, expected), L"WinPhlash.exe started from " + Quoted(startedFrom) +
                                                             L", expected " + Quoted(expected));
        seen = L"WinPhlash.exe started from " + Folder(scenario.standIn) +
               L" folder, shown normally, not waited for" +
               (scenario.dismissal == Dismissal::Unseen ? L", on a window station no one can see" : L"") +
               L"; exit status 0";
    }
    if (!admit || scenario.standIn == kNowhere) {
        findings.Expect(record.empty(), L"WinPhlash.exe was started, expected nothing to be");
    }
    report.Check(scenario.name, findings.text().empty() ? Report::Result::Ok : Report::Result::Failed,
                 findings.text().empty() ? seen : findings.text());
}

void RunElevationScenario(bool accept, const ScenarioSetting& setting, Report& report) {
    const wchar_t* name = accept ? L"elevation-accepted" : L"elevation-declined";
    if (setting.outcome != Outcome::Admit) {
        report.Check(name, Report::Result::Skipped,
                     L"for a board whose Version begins with \"41\"; this one gets a notice");
        return;
    }
    if (const std::wstring why = WhyNoConsentPrompt(); !why.empty()) {
        report.Check(name, Report::Result::Skipped, why);
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
    MeetingPlan plan = layout.Plan(Dismissal::Ok);
    plan.programLimitMs = 120000;
    const Meeting meeting = Meet(plan);
    // The elevated stand-in was started by Windows, outside the meeting's job.
    for (int waited = 0; waited < 10000 && !test::ReadRecord(layout.record).count(L"ended"); waited += 100) {
        Sleep(100);
    }
    const auto record = test::ReadRecord(layout.record);
    Findings findings;
    if (!meeting.error.empty() || !meeting.ended) {
        findings.Expect(false, meeting.error.empty() ? Unended(meeting, plan) : meeting.error);
    } else if (accept) {
        findings.Same(L"exit status", meeting.exitCode, kStarted);
        findings.Same(L"WinPhlash.exe ran elevated:", record.count(L"elevated") ? record.at(L"elevated") : L"not started",
                      L"yes");
        findings.Expect(SameFile(record.count(L"path") ? record.at(L"path") : L"", layout.own + L"\\WinPhlash.exe"),
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
