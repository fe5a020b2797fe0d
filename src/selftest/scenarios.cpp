// Each scenario in a folder of its own: laid out, looked at, met, judged.
#include "selftest/scenarios.h"

#include <windows.h>

#include <vector>

#include "selftest/machine.h"
#include "selftest/meeting.h"
#include "selftest/program_support.h"
#include "selftest/scratch.h"
#include "selftest/search_order.h"

namespace flashgate::selftest {
namespace {

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
                copied = copied && CopyFileW(standIn.c_str(), standIns.back().c_str(), TRUE) &&
                         test::TellStandIn(*where, record, hold);
            }
        }
    }
    ~Layout() { RemoveTree(folder); }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    std::wstring Path() const { return test::SystemPath() + L";" + onPath; }

    // A WinPhlash.exe that a start from the program, on the folders and PATH
    // the plan gives it, could reach and that is not a stand-in put here, or
    // empty.
    std::wstring Foreign() const {
        return test::FirstNotOurs(test::ProcessCreationSearchFolders(own, current, Path()), L"WinPhlash.exe", standIns);
    }

    // The WinPhlash.exe process creation must start: the first of the
    // scenario's folders in its search order.
    std::wstring Expected(unsigned standInFolders) const {
        return (standInFolders & kOwn ? own : standInFolders & kCurrent ? current : onPath) + L"\\WinPhlash.exe";
    }

    MeetingPlan Plan(Dismissal dismissal, Start start, const ScenarioSetting& setting) const {
        MeetingPlan plan;
        plan.program = program;
        plan.currentFolder = current;
        plan.environment = EnvironmentBlock({{L"PATH", Path()}}, {L"NoDefaultCurrentDirectoryInExePath"});
        plan.dismissal = dismissal;
        plan.start = start;
        // Started where no one sees only where the scenario asks for it.
        plan.unseen = dismissal == Dismissal::Unseen   ? setting.unseenStation
                      : start == Start::PrivateDesktop ? setting.privateDesktop
                                                       : nullptr;
        plan.standInRecord = record;
        plan.holdFile = hold;
        plan.watching = setting.watching;
        return plan;
    }

    bool copied = false;
};

// The file a started stand-in says it was started from; empty if none was.
std::wstring StartedFrom(const Record& record) {
    const auto path = record.find(L"path");
    return path != record.end() ? path->second : L"";
}

// The first character a person types at the console in answer to
// `question`, or 0 where no answer comes (no console, or an empty line).
wchar_t AnswerOf(const std::wstring& question, Report& report) {
    report.Line(question);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    wchar_t line[64] = L"";
    DWORD mode = 0, read = 0;
    if (GetConsoleMode(input, &mode)) {
        ReadConsoleW(input, line, ARRAYSIZE(line) - 1, &read, nullptr);
    } else {
        // An answer piped in: the first character of its line.
        for (char byte = 0; ReadFile(input, &byte, 1, &read, nullptr) && read == 1 && byte != '\n';) {
            if (line[0] == L'\0') {
                line[0] = static_cast<wchar_t>(static_cast<unsigned char>(byte));
            }
        }
    }
    return line[0] != L'\r' && line[0] != L'\n' ? line[0] : L'\0';
}

// Never starts a flash utility that is not the stand-in: the look at what the
// program's start would reach comes just before the program is started, in
// this process, on the very folders and environment it gets. Returns what
// was seen, or sets `skipped` to why nothing was.
Seen MeetIfSafe(const Layout& layout, const MeetingPlan& plan, std::wstring& skipped) {
    if (const std::wstring reached = layout.Foreign(); !reached.empty()) {
        skipped = L"a start of WinPhlash.exe could reach " + reached + L", which is not the self-test's stand-in";
        return {};
    }
    return Meet(plan);
}

}  // namespace

void RunScenario(const Scenario& scenario, const ScenarioSetting& setting, Report& report) {
    if (const std::wstring why = NotForThisBoard(scenario, setting.outcome); !why.empty()) {
        report.Check(scenario.name, Report::Result::NotApplicable, why);
        return;
    }
    const Layout layout(scenario.name, setting.program, setting.standIn, scenario.standIn);
    if (!layout.copied) {
        report.Check(scenario.name, Report::Result::Failed,
                     L"cannot lay out " + layout.folder + L": error " + std::to_wstring(GetLastError()));
        return;
    }
    MeetingPlan plan = layout.Plan(scenario.dismissal, scenario.start, setting);
    plan.pictureBase = setting.pictureBase;
    ScenarioRun run;
    run.scenario = &scenario;
    run.outcome = setting.outcome;
    run.visible = setting.visible;
    run.limitSeconds = plan.programLimitMs / 1000;
    std::wstring skipped;
    run.seen = MeetIfSafe(layout, plan, skipped);
    if (!skipped.empty()) {
        report.Check(scenario.name, Report::Result::Skipped, skipped);
        return;
    }
    run.record = test::ReadRecord(layout.record);
    run.expectedFrom = layout.Expected(scenario.standIn);
    run.fromExpected = SameFile(StartedFrom(run.record), run.expectedFrom);
    const Judgement judged = Judge(run);
    report.Check(scenario.name, judged.result, judged.detail);
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
    MeetingPlan plan = layout.Plan(Dismissal::Ok, Start::Plain, setting);
    plan.programLimitMs = 120000;  // for a person to answer
    plan.handForeground = true;
    ElevationRun run;
    run.accept = accept;
    run.limitSeconds = plan.programLimitMs / 1000;
    std::wstring skipped;
    run.seen = MeetIfSafe(layout, plan, skipped);
    if (!skipped.empty()) {
        report.Check(name, Report::Result::Skipped, skipped);
        return;
    }
    // The elevated stand-in was started by Windows, outside the meeting's job.
    for (int waited = 0; waited < 10000 && !test::ReadRecord(layout.record).count(L"ended"); waited += 100) {
        Sleep(100);
    }
    run.record = test::ReadRecord(layout.record);
    run.fromOwnFolder = SameFile(StartedFrom(run.record), layout.Expected(kOwn));
    const auto current = run.record.find(L"current");
    run.expectedCurrent = layout.current;
    run.inCurrentFolder = current != run.record.end() && SameFile(current->second, layout.current);
    const Judgement judged = JudgeElevation(run);
    report.Check(name, judged.result, judged.detail);
    // Whether Windows brought its prompt forward only a person can say.
    const Judgement inFront = JudgePromptInFront(
        run.seen.foregroundHandedOn,
        run.seen.foregroundHandedOn
            ? AnswerOf(L"Did the prompt come to the front by itself, without a click on the taskbar? [y/n]", report)
            : L'\0');
    report.Check(name + std::wstring(L"-in-front"), inFront.result, inFront.detail);
}

}  // namespace flashgate::selftest
