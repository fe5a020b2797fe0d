// flashgate-selftest: checks the flashgate.exe beside it on this machine,
// against this machine's WMI, message box, process creation and window
// stations, with a stand-in in place of the flash utility. It starts no real
// flash utility, needs no administrator rights, and leaves nothing behind.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "selftest/board_records.h"
#include "selftest/handles.h"
#include "selftest/machine.h"
#include "selftest/report.h"
#include "selftest/scenarios.h"
#include "selftest/scratch.h"
#include "selftest/signature.h"
#include "selftest/unseen_desktop.h"
#include "selftest/windows_layer.h"
#include "selftest/wine_ways.h"
#include "win/com_holders.h"

namespace {

using namespace flashgate::selftest;

// The consent checks, which a person answers (--interactive).
constexpr const wchar_t* kConsentChecks[] = {L"elevation-accepted", L"elevation-declined"};

constexpr wchar_t kUsage[] =
    L"usage: flashgate-selftest [--scenarios NAME,...] [--report FILE] [--interactive] [--require-visible] "
    L"[--no-unexplained-skips] [--no-job] [--hold-notice BASE]";

struct Options {
    std::vector<std::wstring> checks;  // empty: every check
    std::wstring report;
    std::wstring holdNotice;
    bool interactive = false;
    bool requireVisible = false;     // a session whose notices no one can see fails
    bool noUnexplainedSkips = false; // a check skipped for another reason than the board fails
    bool noJob = false;              // programs are watched without a job object
};

int UsageError(const std::wstring& why) {
    ErrorLine(why + L"; " + kUsage);
    return 2;
}

std::wstring CheckNames() {
    std::wstring names;
    for (const Scenario& scenario : kScenarios) {
        names += scenario.name + std::wstring(L", ");
    }
    for (const wchar_t* consent : kConsentChecks) {
        names += consent + std::wstring(L", ");
    }
    return names + kWindowsLayerCheck;
}

bool KnownCheck(const std::wstring& name) {
    for (const Scenario& scenario : kScenarios) {
        if (name == scenario.name) {
            return true;
        }
    }
    for (const wchar_t* consent : kConsentChecks) {
        if (name == consent) {
            return true;
        }
    }
    return name == kWindowsLayerCheck;
}

// Returns an empty string, or what is wrong with the arguments.
std::wstring Parse(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == L"--interactive") {
            options.interactive = true;
        } else if (argument == L"--require-visible") {
            options.requireVisible = true;
        } else if (argument == L"--no-unexplained-skips") {
            options.noUnexplainedSkips = true;
        } else if (argument == L"--no-job") {
            options.noJob = true;
        } else if (argument == L"--report" && hasValue) {
            options.report = argv[++i];
        } else if (argument == L"--hold-notice" && hasValue) {
            options.holdNotice = argv[++i];
        } else if (argument == L"--scenarios" && hasValue) {
            const std::wstring list = argv[++i];
            for (size_t from = 0; from <= list.size();) {
                const size_t to = list.find(L',', from) == std::wstring::npos ? list.size() : list.find(L',', from);
                const std::wstring name = list.substr(from, to - from);
                if (!KnownCheck(name)) {
                    return L"no scenario is called \"" + name + L"\" (there are " + CheckNames() + L")";
                }
                options.checks.push_back(name);
                from = to + 1;
            }
        } else if (argument == L"--report" || argument == L"--hold-notice" || argument == L"--scenarios") {
            return argument + L" needs a value";
        } else {
            return L"unknown argument \"" + argument + L"\"";
        }
    }
    return L"";
}

bool Named(const Options& options, const std::wstring& name) {
    for (const std::wstring& check : options.checks) {
        if (check == name) {
            return true;
        }
    }
    return false;
}

bool Wanted(const Options& options, const std::wstring& name) { return options.checks.empty() || Named(options, name); }

// A consent check runs where it is named, and with --interactive where no
// check is: it needs a person to answer Windows.
bool ConsentWanted(const Options& options, const std::wstring& name) {
    return Named(options, name) || (options.interactive && options.checks.empty());
}

const wchar_t* OutcomeText(Outcome outcome) {
    switch (outcome) {
    case Outcome::Admit: return L"WinPhlash.exe is started, flashgate.exe ends at once (exit status 0)";
    case Outcome::AdministratorNotice: return L"the administrator notice, title \"Dorvanel\" (exit status 1)";
    default: return L"the wrong-model notice, title \"WinPhlash\" (exit status 2)";
    }
}

void DescribeBoard(const BoardReading& board, Report& report) {
    report.Line(L"board:    " + std::to_wstring(board.records.size()) + L" Win32_BaseBoard record(s)" +
                (board.failedStep != nullptr
                     ? L"; WMI failed " + std::wstring(board.failedStep) + L" (error 0x" +
                           Hex(static_cast<unsigned long>(board.error)) + L")"
                     : L""));
    for (size_t i = 0; i < board.records.size(); ++i) {
        report.Line(L"          record " + std::to_wstring(i + 1) + L": Version " + DescribeVersion(board.records[i]));
    }
    report.Line(L"expected: " + std::wstring(OutcomeText(ExpectedOutcome(board))));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (const std::wstring wrong = Parse(argc, argv, options); !wrong.empty()) {
        return UsageError(wrong);
    }
    ScenarioSetting setting;
    const std::wstring selfFolder = FolderOf(ThisProgram());
    setting.program = selfFolder + L"\\flashgate.exe";
    setting.standIn = selfFolder + L"\\flashgate-standin.exe";
    setting.elevatedStandIn = selfFolder + L"\\flashgate-standin-elevated.exe";
    setting.pictureBase = options.holdNotice;
    for (const std::wstring* needed : {&setting.program, &setting.standIn}) {
        if (GetFileAttributesW(needed->c_str()) == INVALID_FILE_ATTRIBUTES) {
            ErrorLine(L"there is no " + needed->substr(selfFolder.size() + 1) + L" in " +
                          selfFolder + L": run the self-test where the kit put it, beside flashgate.exe");
            return 2;
        }
    }
    if (!options.report.empty()) {
        const flashgate::test::UniqueFile file(CreateFileW(options.report.c_str(), GENERIC_WRITE, 0, nullptr,
                                                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            ErrorLine(L"cannot write the report " + options.report + L" (error " +
                          std::to_wstring(GetLastError()) + L"): name a file in a folder you may write to");
            return 2;
        }
    }

    AwaitDesktop();
    Report report(options.noUnexplainedSkips);
    // Declared first, so that COM stays initialised until the board's objects have gone.
    const flashgate::win::ComApartment com(COINIT_MULTITHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE,
                         nullptr, EOAC_NONE, nullptr);
    report.Line(L"flashgate self-test, checking " + setting.program);
    report.Line(L"Windows:  " + WindowsDescription());
    report.Line(L"programs: " + ProgramArchitecture());
    report.Line(L"signature: " + DescribeSigning(ReadSigning(setting.program)));
    std::wstring session;
    setting.visible = NoticesCanBeSeen(session);
    report.Line(L"session:  " + session +
                (setting.visible ? L": notices are met as a user meets them"
                                 : L": no notice can be seen, so the notice scenarios run as unseen ones"));
    if (options.requireVisible && !setting.visible) {
        report.Check(L"session", Report::Result::Failed,
                     session + L", expected a session whose notices can be seen (--require-visible)");
    }
    setting.watching = HowToWatch(options.noJob);
    report.Line(L"jobs:     " + setting.watching.said);
    const BoardReading board = ReadBoardRecords();
    setting.outcome = ExpectedOutcome(board);
    DescribeBoard(board, report);
    // Made before the scenarios, so that what goes wrong in making them is
    // said in the head; they go before the scratch folder.
    std::optional<UnseenDesktop> unseenStation, privateDesktop;
    if (Wanted(options, L"unseen")) {
        setting.unseenStation = &unseenStation.emplace(UnseenDesktop::Kind::StationOfItsOwn);
        if (const std::wstring trouble = unseenStation->trouble(); !trouble.empty()) {
            report.Line(L"unseen:   the window station no one can see: " + trouble);
        }
    }
    if (Wanted(options, L"private-desktop")) {
        setting.privateDesktop = &privateDesktop.emplace(UnseenDesktop::Kind::PrivateDesktop);
        if (const std::wstring trouble = privateDesktop->trouble(); !trouble.empty()) {
            report.Line(L"private:  the desktop no one switches to: " + trouble);
        }
    }

    for (const Scenario& scenario : kScenarios) {
        if (Wanted(options, scenario.name)) {
            RunScenario(scenario, setting, report);
        }
    }
    for (const wchar_t* consent : kConsentChecks) {
        if (ConsentWanted(options, consent)) {
            RunElevationScenario(consent == kConsentChecks[0], setting, report);
        }
    }
    if (Wanted(options, kWindowsLayerCheck)) {
        RunWindowsLayer(selfFolder, setting.watching, report);
    }
    unseenStation.reset();
    privateDesktop.reset();
    RemoveScratch();
    report.Summary();
    if (!options.report.empty() && !report.WriteTo(options.report)) {
        ErrorLine(L"cannot write the report " + options.report + L": the disk may be full or the file held open");
        return 2;
    }
    return report.failed() ? 1 : 0;
}
