// The self-test's judging, held to each fault of tests/e2e/faults: the same
// faults, as the facts a meeting with such a program gathers, each with the
// one line it must produce. The end-to-end table proves the whole chain under
// Wine; this one proves the judge, in milliseconds.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "selftest/judging.h"
#include "selftest/signing.h"

namespace flashgate::selftest {
namespace {

const Scenario& Named(const std::wstring& name) {
    for (const Scenario& scenario : kScenarios) {
        if (name == scenario.name) {
            return scenario;
        }
    }
    ADD_FAILURE() << "no scenario of that name";
    return kScenarios[0];
}

const wchar_t kWrongModelTitle[] = L"WinPhlash";
const wchar_t kWrongModelText[] = L"This BIOS is not for your Notebook PC.";
const wchar_t kAdministratorTitle[] = L"Dorvanel";
const wchar_t kAdministratorText[] =
    L"You must be logged in with administrator privilege in order to update the system BIOS.  "
    L"The system BIOS will not be updated.";

// What the real program shows in each scenario on a board of this outcome.
ScenarioRun Faultless(const std::wstring& scenario, Outcome outcome) {
    ScenarioRun run;
    run.scenario = &Named(scenario);
    run.outcome = outcome;
    run.seen.ended = true;
    if (outcome != Outcome::Admit) {
        const bool administrator = outcome == Outcome::AdministratorNotice;
        run.seen.exitCode = administrator ? 1 : 2;
        if (run.scenario->dismissal != Dismissal::Unseen && run.scenario->start != Start::Hidden &&
            run.scenario->start != Start::PrivateDesktop) {
            run.seen.notices = 1;
            run.seen.notice = {administrator ? kAdministratorTitle : kWrongModelTitle,
                               administrator ? kAdministratorText : kWrongModelText, L"OK", L"exclamation", true};
        }
    } else if (run.scenario->standIn == kNowhere) {
        run.seen.exitCode = 3;
    } else {
        run.seen.started = run.seen.runningAtEnd = 1;
        run.seen.startedNames = L"WinPhlash.exe";
        run.record = {{L"flags", L"1"}, {L"show", L"1"}, {L"path", L"C:\\s\\own\\WinPhlash.exe"},
                      {L"command_line", L"WinPhlash.exe"}, {L"elevated", L"no"}};
        run.expectedFrom = L"C:\\s\\own\\WinPhlash.exe";
        run.fromExpected = true;
    }
    return run;
}

std::wstring Line(const ScenarioRun& run) {
    const Judgement judged = Judge(run);
    const wchar_t* result = judged.result == Report::Result::Ok ? L": ok: " : L": FAIL: ";
    return run.scenario->name + std::wstring(result) + judged.detail;
}

struct FaultCase {
    const char* fault;  // the row's fault in tests/e2e/faults
    const wchar_t* scenario;
    Outcome outcome;
    std::function<void(ScenarioRun&)> fault_shows;
    std::wstring line;
};

const Outcome kWrongModel = Outcome::WrongModelNotice, kAdmit = Outcome::Admit;

// A notice shown where no one could see it, which holds the program until
// the meeting gives up on it.
void UnseenNotice(ScenarioRun& r) {
    r.seen.ended = false;
    r.seen.unseenNotices = 1;
}

const std::vector<FaultCase> kFaults = {
    // The notice: what it says and how it looks
    {"wrong-title", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notice.title = L"Winphlash"; },
     L"notice-ok: FAIL: title \"Winphlash\", expected \"WinPhlash\""},
    {"text-off", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notice.text = L"This BIOS is not for your Notebook PC"; },
     L"notice-ok: FAIL: text \"This BIOS is not for your Notebook PC\", expected \"This BIOS is not for your Notebook PC.\""},
    {"icon-hand", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notice.icon = L"hand"; },
     L"notice-ok: FAIL: icon \"hand\", expected \"exclamation\""},
    {"two-buttons", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notice.buttons = L"OK|Cancel#2"; },
     L"notice-ok: FAIL: buttons \"OK|Cancel#2\", expected \"OK\""},
    {"no-ok-button", L"notice-ok", kWrongModel,
     [](ScenarioRun& r) {
         r.seen.ended = false;
         r.seen.noOkButton = true;
         r.seen.dismissed = false;
         r.seen.notice.buttons = L"&Yes#6|&No#7";
     },
     L"notice-ok: FAIL: buttons \"&Yes#6|&No#7\", expected \"OK\": no OK button to dismiss the notice by"},
    // The notice: how it holds the program and goes
    {"ends-while-up", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notice.held = false; },
     L"notice-ok: FAIL: flashgate.exe did not wait on its notice, expected it to"},
    {"returns-at-once", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notice.held = false; },
     L"notice-ok: FAIL: flashgate.exe did not wait on its notice, expected it to"},
    {"cannot-escape", L"notice-escape", kWrongModel,
     [](ScenarioRun& r) {
         r.seen.ended = false;
         r.seen.dismissed = false;
     },
     L"notice-escape: FAIL: the notice stayed up when dismissed by the Escape key, expected it to go"},
    {"cannot-close", L"notice-close", kWrongModel,
     [](ScenarioRun& r) {
         r.seen.ended = false;
         r.seen.dismissed = false;
     },
     L"notice-close: FAIL: the notice stayed up when dismissed by its close box, expected it to go"},
    {"lingers", L"notice-ok", kWrongModel,
     [](ScenarioRun& r) {
         r.seen.ended = false;
         r.seen.afterDismissal = true;
     },
     L"notice-ok: FAIL: flashgate.exe was still running 10 s after its notice was dismissed, expected it to end at once"},
    {"click-ignored", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.okByCommand = true; },
     L"notice-ok: ok: the wrong-model notice, dismissed by its OK button (its click did not take, as where the notice "
     L"is not the active window: by the command the button sends); exit status 2"},
    // The notice: what else the program does beside it
    {"notice-status", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.exitCode = 1; },
     L"notice-ok: FAIL: exit status 1, expected 2"},
    {"two-notices", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.notices = 2; },
     L"notice-ok: FAIL: notices shown: 2, expected 1"},
    {"unseen-notice", L"unseen", kWrongModel, UnseenNotice,
     L"unseen: FAIL: notices shown: 1 on a window station no one can see, expected 0: no one could dismiss it, and "
     L"flashgate.exe would wait on it for ever"},
    {"ignores-hidden-start", L"hidden-start", kWrongModel, UnseenNotice,
     L"hidden-start: FAIL: notices shown: 1 though flashgate.exe was started hidden, expected 0: no one could dismiss "
     L"it, and flashgate.exe would wait on it for ever"},
    {"notice-on-private-desktop", L"private-desktop", kWrongModel, UnseenNotice,
     L"private-desktop: FAIL: notices shown: 1 on a desktop no one switches to, expected 0: no one could dismiss it, "
     L"and flashgate.exe would wait on it for ever"},
    {"hidden-when-minimised", L"minimised-start", kWrongModel, [](ScenarioRun& r) { r.seen.notices = 0; },
     L"minimised-start: FAIL: notices shown: 0, expected 1"},
    {"own-window", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.otherWindows = 1; },
     L"notice-ok: FAIL: windows other than notices: 1, expected 0"},
    {"notice-and-start", L"notice-ok", kWrongModel,
     [](ScenarioRun& r) {
         r.seen.started = 1;
         r.seen.startedNames = L"WinPhlash.exe";
         r.record = {{L"show", L"1"}};
     },
     L"notice-ok: FAIL: programs started: 1 (WinPhlash.exe), and WinPhlash.exe wrote that it was started, expected 0"},
    {"start-by-child", L"notice-ok", kWrongModel,
     [](ScenarioRun& r) {
         r.seen.started = 2;
         r.seen.startedNames = L"flashgate.exe,WinPhlash.exe";
         r.record = {{L"show", L"1"}};
     },
     L"notice-ok: FAIL: programs started: 2 (flashgate.exe,WinPhlash.exe), and WinPhlash.exe wrote that it was "
     L"started, expected 0"},
    {"start-ends-at-once", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.seen.started = 3; },
     L"notice-ok: FAIL: programs started: 3, expected 0"},
    {"start-outside-job", L"notice-ok", kWrongModel, [](ScenarioRun& r) { r.record = {{L"show", L"1"}}; },
     L"notice-ok: FAIL: programs started: 0, and WinPhlash.exe wrote that it was started, expected 0"},
    {"none", L"notice-ok", kWrongModel, [](ScenarioRun&) {},
     L"notice-ok: ok: the wrong-model notice, dismissed by its OK button; exit status 2"},
    {"none", L"unseen", kWrongModel, [](ScenarioRun&) {}, L"unseen: ok: no notice where no one could see one; exit status 2"},
    {"none", L"hidden-start", kWrongModel, [](ScenarioRun&) {},
     L"hidden-start: ok: no notice where flashgate.exe was started hidden; exit status 2"},
    {"none", L"private-desktop", kWrongModel, [](ScenarioRun&) {},
     L"private-desktop: ok: no notice on a desktop no one switches to; exit status 2"},
    {"none", L"minimised-start", kWrongModel, [](ScenarioRun&) {},
     L"minimised-start: ok: the wrong-model notice, which Windows showed normally, not minimised, dismissed by its OK "
     L"button; exit status 2"},
    {"none, on Windows", L"minimised-start", kWrongModel, [](ScenarioRun& r) { r.seen.notice.minimised = true; },
     L"minimised-start: ok: the wrong-model notice, which Windows showed minimised, as a taskbar button, dismissed by "
     L"its OK button; exit status 2"},
    {"none, on a session no one can see", L"notice-ok", kWrongModel, [](ScenarioRun& r) {
         r.visible = false;
         r.seen.notices = 0;
     },
     L"notice-ok: ok: no notice where no one could see one; exit status 2"},
    {"notice on a session no one can see", L"notice-close", kWrongModel, [](ScenarioRun& r) { r.visible = false; },
     L"notice-close: FAIL: notices shown: 1, expected 0"},
    {"none", L"notice-escape", Outcome::AdministratorNotice, [](ScenarioRun&) {},
     L"notice-escape: ok: the administrator notice, dismissed by the Escape key; exit status 1"},
    {"the wrong notice", L"notice-ok", Outcome::AdministratorNotice,
     [](ScenarioRun& r) {
         r.seen.exitCode = 2;
         r.seen.notice.title = kWrongModelTitle;
         r.seen.notice.text = kWrongModelText;
     },
     L"notice-ok: FAIL: exit status 2, expected 1; title \"WinPhlash\", expected \"Dorvanel\"; text \"This BIOS is not "
     L"for your Notebook PC.\", expected \"You must be logged in with administrator privilege in order to update the "
     L"system BIOS.  The system BIOS will not be updated.\""},
    // The start
    {"start-status", L"own", kAdmit, [](ScenarioRun& r) { r.seen.exitCode = 1; }, L"own: FAIL: exit status 1, expected 0"},
    {"not-started-status", L"nowhere", kAdmit, [](ScenarioRun& r) { r.seen.exitCode = 0; },
     L"nowhere: FAIL: exit status 0, expected 3"},
    {"notice-when-not-found", L"nowhere", kAdmit, [](ScenarioRun& r) { r.seen.notices = 1; },
     L"nowhere: FAIL: notices shown: 1, expected 0"},
    {"started-when-not-found", L"nowhere", kAdmit,
     [](ScenarioRun& r) {
         r.seen.started = 1;
         r.seen.startedNames = L"WinPhlash.exe";
     },
     L"nowhere: FAIL: programs started: 1 (WinPhlash.exe), expected 0"},
    {"start-and-notice", L"own", kAdmit, [](ScenarioRun& r) { r.seen.notices = 1; }, L"own: FAIL: notices shown: 1, expected 0"},
    {"starts-twice", L"own", kAdmit, [](ScenarioRun& r) { r.seen.started = 2; },
     L"own: FAIL: programs started: 2 (WinPhlash.exe), expected 1"},
    {"second-start-ends-at-once", L"own", kAdmit, [](ScenarioRun& r) { r.seen.started = 4; },
     L"own: FAIL: programs started: 4 (WinPhlash.exe), expected 1"},
    {"no-start-on-private-desktop", L"private-desktop", kAdmit,
     [](ScenarioRun& r) {
         r.seen.exitCode = 3;
         r.seen.started = r.seen.runningAtEnd = 0;
         r.seen.startedNames.clear();
         r.record.clear();
         r.fromExpected = false;
     },
     L"private-desktop: FAIL: exit status 3, expected 0; programs started: 0, expected 1; WinPhlash.exe's command "
     L"line \"\", expected \"WinPhlash.exe\"; WinPhlash.exe's show state \"\", expected \"1\"; STARTF_USESHOWWINDOW is "
     L"not set, expected the show state to be passed; WinPhlash.exe started from \"\", expected "
     L"\"C:\\s\\own\\WinPhlash.exe\""},
    {"none", L"private-desktop", kAdmit, [](ScenarioRun&) {},
     L"private-desktop: ok: WinPhlash.exe started from its own folder, shown normally, not waited for, though "
     L"flashgate.exe was started on a desktop no one switches to; exit status 0"},
    {"argument", L"own", kAdmit, [](ScenarioRun& r) { r.record[L"command_line"] = L"WinPhlash.exe /silent"; },
     L"own: FAIL: WinPhlash.exe's command line \"WinPhlash.exe /silent\", expected \"WinPhlash.exe\""},
    {"from-current", L"own-before-current", kAdmit,
     [](ScenarioRun& r) {
         r.record[L"path"] = L"C:\\s\\current\\WinPhlash.exe";
         r.fromExpected = false;
     },
     L"own-before-current: FAIL: WinPhlash.exe started from \"C:\\s\\current\\WinPhlash.exe\", expected "
     L"\"C:\\s\\own\\WinPhlash.exe\""},
    {"hidden", L"own", kAdmit, [](ScenarioRun& r) { r.record[L"show"] = L"0"; },
     L"own: FAIL: WinPhlash.exe's show state \"0\", expected \"1\""},
    {"inherits-show", L"hidden-start", kAdmit, [](ScenarioRun& r) { r.record[L"show"] = L"0"; },
     L"hidden-start: FAIL: WinPhlash.exe's show state \"0\", expected \"1\""},
    {"inherits-show", L"minimised-start", kAdmit, [](ScenarioRun& r) { r.record[L"show"] = L"7"; },
     L"minimised-start: FAIL: WinPhlash.exe's show state \"7\", expected \"1\""},
    {"none", L"hidden-start", kAdmit, [](ScenarioRun&) {},
     L"hidden-start: ok: WinPhlash.exe started from its own folder, shown normally, not waited for, though "
     L"flashgate.exe was started hidden; exit status 0"},
    {"none", L"minimised-start", kAdmit, [](ScenarioRun&) {},
     L"minimised-start: ok: WinPhlash.exe started from its own folder, shown normally, not waited for, though "
     L"flashgate.exe was started minimised; exit status 0"},
    {"no-show-flag", L"own", kAdmit, [](ScenarioRun& r) { r.record[L"flags"] = L"0"; },
     L"own: FAIL: STARTF_USESHOWWINDOW is not set, expected the show state to be passed"},
    {"waits", L"own", kAdmit,
     [](ScenarioRun& r) {
         r.seen.ended = false;
         r.seen.secondsAfterStandIn = 10;
     },
     L"own: FAIL: flashgate.exe was still running 10 s after WinPhlash.exe started, expected it to end at once without "
     L"waiting for it"},
    {"ends-utility", L"own", kAdmit, [](ScenarioRun& r) { r.seen.runningAtEnd = 0; },
     L"own: FAIL: WinPhlash.exe had ended when flashgate.exe did, expected it to run on by itself"},
    {"none", L"own", kAdmit, [](ScenarioRun& r) { r.seen.watchedWithoutJob = true; },
     L"own: ok: WinPhlash.exe started from its own folder, shown normally, not waited for; exit status 0; watched "
     L"without a job, which Windows would not let the self-test make"},
    {"none", L"path", kAdmit, [](ScenarioRun&) {},
     L"path: ok: WinPhlash.exe started from the PATH folder, shown normally, not waited for; exit status 0"},
    {"none", L"unseen", kAdmit, [](ScenarioRun&) {},
     L"unseen: ok: WinPhlash.exe started from its own folder, shown normally, not waited for, on a window station no "
     L"one can see; exit status 0"},
    {"none", L"nowhere", kAdmit, [](ScenarioRun&) {}, L"nowhere: ok: nothing shown, nothing started; exit status 3"},
    // The self-test's own failures, and a program that never decides
    {"(cannot start)", L"own", kAdmit, [](ScenarioRun& r) { r.seen.error = L"cannot start C:\\s\\own\\flashgate.exe: error 5"; },
     L"own: FAIL: cannot start C:\\s\\own\\flashgate.exe: error 5"},
    {"never decides", L"own", kAdmit, [](ScenarioRun& r) { r.seen.ended = false; },
     L"own: FAIL: flashgate.exe did not end within 30 s, expected it to end once it had decided"},
};

TEST(SelfTestJudging, EachFaultOfTheTableGivesItsOneLine) {
    for (const FaultCase& c : kFaults) {
        ScenarioRun run = Faultless(c.scenario, c.outcome);
        c.fault_shows(run);
        EXPECT_EQ(Line(run), c.line) << c.fault;
    }
}

// A check is skipped, not failed, where the board leads elsewhere.
TEST(SelfTestJudging, AScenarioRunsOnlyForTheBoardsItIsFor) {
    EXPECT_EQ(NotForThisBoard(Named(L"own"), Outcome::WrongModelNotice),
              L"for a board whose Version begins with \"41\"; this one gets a notice");
    EXPECT_EQ(NotForThisBoard(Named(L"notice-ok"), Outcome::Admit),
              L"for a board that gets a notice; this one's Version begins with \"41\"");
    EXPECT_EQ(NotForThisBoard(Named(L"own"), Outcome::Admit), L"");
    EXPECT_EQ(NotForThisBoard(Named(L"notice-ok"), Outcome::AdministratorNotice), L"");
    for (const Outcome outcome : {Outcome::Admit, Outcome::AdministratorNotice, Outcome::WrongModelNotice}) {
        EXPECT_EQ(NotForThisBoard(Named(L"unseen"), outcome), L"");
    }
}

// The consent checks, which only a person at Windows can run: the accepted
// start must have run elevated from the program's own folder; a declined one
// must have started nothing.
TEST(SelfTestJudging, TheConsentChecksHoldTheStandInsRecordToTheAnswer) {
    ElevationRun accepted;
    accepted.seen.ended = true;
    accepted.record = {{L"elevated", L"yes"}, {L"path", L"C:\\s\\own\\WinPhlash.exe"}, {L"current", L"C:\\s\\current"}};
    accepted.fromOwnFolder = accepted.inCurrentFolder = true;
    accepted.expectedCurrent = L"C:\\s\\current";
    EXPECT_EQ(JudgeElevation(accepted).detail, L"consent given, WinPhlash.exe ran elevated; exit status 0");
    // Windows' elevation service starts it in System32 unless told the folder.
    ElevationRun elsewhere = accepted;
    elsewhere.record[L"current"] = L"C:\\Windows\\system32";
    elsewhere.inCurrentFolder = false;
    EXPECT_EQ(JudgeElevation(elsewhere).detail,
              L"WinPhlash.exe ran in \"C:\\Windows\\system32\", expected flashgate.exe's current folder \"C:\\s\\current\"");
    ElevationRun unelevated = accepted;
    unelevated.record[L"elevated"] = L"no";
    EXPECT_EQ(JudgeElevation(unelevated).detail, L"WinPhlash.exe ran elevated: \"no\", expected \"yes\"");
    ElevationRun withNotice = accepted;
    withNotice.seen.notices = 1;
    EXPECT_EQ(JudgeElevation(withNotice).detail, L"notices shown: 1, expected 0");
    ElevationRun unstarted = accepted;
    unstarted.record.clear();
    unstarted.fromOwnFolder = unstarted.inCurrentFolder = false;
    EXPECT_EQ(JudgeElevation(unstarted).detail,
              L"WinPhlash.exe ran elevated: \"not started\", expected \"yes\"; WinPhlash.exe did not start from the "
              L"program's own folder, expected it to; WinPhlash.exe ran in \"\", expected flashgate.exe's current "
              L"folder \"C:\\s\\current\"");

    ElevationRun declined;
    declined.accept = false;
    declined.seen.ended = true;
    declined.seen.exitCode = 3;
    EXPECT_EQ(JudgeElevation(declined).result, Report::Result::Ok);
    declined.seen.exitCode = 0;
    EXPECT_EQ(JudgeElevation(declined).detail, L"exit status 0, expected 3");
    declined.seen.exitCode = 3;
    declined.record = {{L"elevated", L"yes"}};
    EXPECT_EQ(JudgeElevation(declined).detail, L"WinPhlash.exe was started, expected nothing to be once declined");
    declined.seen.ended = false;
    EXPECT_EQ(JudgeElevation(declined).detail,
              L"flashgate.exe did not end within 120 s, expected it to end once it had decided");
}

// Whether the consent prompt came to the front only the person at Windows
// can say; the self-test must first have put flashgate.exe where a
// double-click does, able to take the foreground.
TEST(SelfTestJudging, ThePromptInFrontIsThePersonsAnswer) {
    EXPECT_EQ(JudgePromptInFront(true, L'y').result, Report::Result::Ok);
    EXPECT_EQ(JudgePromptInFront(true, L'Y').result, Report::Result::Ok);
    EXPECT_EQ(JudgePromptInFront(true, L'n').detail,
              L"the consent prompt waited in the taskbar, expected it to come to the front by itself for a program its "
              L"starter put in the foreground");
    EXPECT_EQ(JudgePromptInFront(true, L'N').result, Report::Result::Failed);
    EXPECT_EQ(JudgePromptInFront(true, L'\0').result, Report::Result::Skipped);
    EXPECT_EQ(JudgePromptInFront(true, L'x').result, Report::Result::Skipped);
    // Not in front for a reason of the self-test's own, whatever the answer.
    EXPECT_EQ(JudgePromptInFront(false, L'n').result, Report::Result::Skipped);
}

// WinVerifyTrust says there is no signature for a file it could not read
// too: only its last error tells a file without one.
TEST(SelfTestJudging, OnlyTheLastErrorTellsAFileWithoutASignature) {
    using Signature = Signing::Signature;
    const long noSignature = static_cast<long>(0x800B0100);
    EXPECT_EQ(SignatureFromTrust(0, 0), Signature::Trusted);
    for (const unsigned long none : {0x800B0100UL, 0x800B0003UL, 0x800B0001UL}) {
        EXPECT_EQ(SignatureFromTrust(noSignature, none), Signature::None) << none;
    }
    EXPECT_EQ(SignatureFromTrust(noSignature, 5), Signature::Unverified);  // ERROR_ACCESS_DENIED
    EXPECT_EQ(SignatureFromTrust(noSignature, 0), Signature::Unverified);
    // A signature that is there, from an untrusted root or on a changed file;
    // an HRESULT however wide a long is.
    EXPECT_EQ(SignatureFromTrust(static_cast<long>(0x800B0109), 0), Signature::Untrusted);
    EXPECT_EQ(SignatureFromTrust(static_cast<long>(static_cast<int>(0x80096010)), 0), Signature::Untrusted);
    EXPECT_EQ(SignatureFromTrust(static_cast<long>(static_cast<int>(0x800B0100)), 0x800B0100), Signature::None);
}

// The report head's line on the signature: what Windows says of it, and what
// Smart App Control does with a program without a trusted one.
TEST(SelfTestJudging, TheSignatureLineSaysWhatSmartAppControlWouldDo) {
    using Signature = Signing::Signature;
    using Control = Signing::SmartAppControl;
    const std::wstring blocked = L": with Smart App Control on, Windows 11 runs it only where Microsoft's cloud "
                                 L"service predicts it safe, and blocks it otherwise";
    EXPECT_EQ(DescribeSigning({Signature::Trusted, 0, Control::On}),
              L"flashgate.exe is signed, and Windows trusts the signature; Smart App Control: on");
    EXPECT_EQ(DescribeSigning({Signature::None, static_cast<long>(0x800B0100), Control::Off}),
              L"flashgate.exe is not signed" + blocked + L"; Smart App Control: off");
    EXPECT_EQ(DescribeSigning({Signature::Untrusted, static_cast<long>(0x800B0109), Control::Evaluation}),
              L"flashgate.exe is signed, but Windows does not trust the signature (error 0x800B0109)" + blocked +
                  L"; Smart App Control: evaluating this Windows (it may turn itself on)");
    EXPECT_EQ(DescribeSigning({Signature::Unverified, static_cast<long>(0x800B0100), Control::NotReported}),
              L"Windows could not verify flashgate.exe's signature, or read the file (error 0x800B0100)" + blocked +
                  L"; Smart App Control: not reported by this Windows");

    EXPECT_EQ(SmartAppControlFromPolicy(true, 0), Control::Off);
    EXPECT_EQ(SmartAppControlFromPolicy(true, 1), Control::On);
    EXPECT_EQ(SmartAppControlFromPolicy(true, 2), Control::Evaluation);
    EXPECT_EQ(SmartAppControlFromPolicy(true, 3), Control::NotReported);
    EXPECT_EQ(SmartAppControlFromPolicy(false, 1), Control::NotReported);
}

}  // namespace
}  // namespace flashgate::selftest
