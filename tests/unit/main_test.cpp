// The start-up routine's effects, in order: one notice or one start (through
// the shell only when the flash utility requires elevation), never both, then
// the board query objects released; and the exit status that says which.
#include <gtest/gtest.h>

#include <functional>

#include "fakes.h"
#include "gate/modMain.h"

namespace flashgate {
namespace {

using testing::FakeBoardRecord;
using testing::FakeGate;
using testing::FakeWmi;
using testing::Journal;
using testing::kFailed;

// Typed out again here, not taken from the program, so that an edit to the
// program's texts shows up as a failure. 48 is MB_OK | MB_ICONEXCLAMATION.
const std::string kAdministratorNotice =
    "notice 48 Dorvanel: You must be logged in with administrator privilege in order to update the "
    "system BIOS.  The system BIOS will not be updated.";
const std::string kWrongModelNotice = "notice 48 WinPhlash: This BIOS is not for your Notebook PC.";
const std::string kStart = "start WinPhlash.exe, show 1";
const std::string kShellStart = "shell start WinPhlash.exe, show 1";
// The walker goes before the result set it walks, the services object last.
const Journal kReleased = {"walker", "result set", "record 0", "services"};

constexpr StepResult kElevationRequired = static_cast<StepResult>(0x800702E4u);
constexpr StepResult kCancelled = static_cast<StepResult>(0x800704C7u);  // consent declined

// The exit statuses deployment tools read, typed out again too.
enum : int { kStarted = 0, kAdministrator = 1, kWrongModel = 2, kNotStarted = 3 };

// The exit status and the journal of one run.
using Outcome = std::pair<int, Journal>;

Outcome RunMain(std::vector<FakeBoardRecord> records, const std::function<void(FakeWmi&, FakeGate&)>& arrange = {}) {
    FakeWmi wmi;
    wmi.records = std::move(records);
    FakeGate gate(wmi.journal);
    if (arrange) {
        arrange(wmi, gate);
    }
    const int status = static_cast<int>(Main(wmi, gate));
    return {status, wmi.journal};
}

Journal Then(const std::string& first, Journal rest) { rest.insert(rest.begin(), first); return rest; }

const FakeBoardRecord k41B = FakeBoardRecord::WithText(u"41B");

TEST(Main, StartsTheFlashUtilityOnAMatchingBoardBeforeReleasingTheBoardObjects) {
    EXPECT_EQ(RunMain({k41B}), (Outcome{kStarted, Then(kStart, kReleased)}));
}

TEST(Main, StartsAFlashUtilityThatRequiresElevationThroughTheShell) {
    const auto elevation = [](FakeWmi&, FakeGate& gate) { gate.startResult = kElevationRequired; };
    EXPECT_EQ(RunMain({k41B}, elevation),
              (Outcome{kStarted, Then(kStart, Then(kShellStart, kReleased))}));

    const auto declined = [](FakeWmi&, FakeGate& gate) {
        gate.startResult = kElevationRequired;
        gate.shellStartResult = kCancelled;
    };
    EXPECT_EQ(RunMain({k41B}, declined),
              (Outcome{kNotStarted, Then(kStart, Then(kShellStart, kReleased))}));
}

TEST(Main, AnyOtherFailedStartShowsNothingAndSaysSoInTheExitStatus) {
    // file not found, access denied, not a valid program, unspecified
    for (const auto error : {0x80070002u, 0x80070005u, 0x800700C1u, 0x80004005u}) {
        const auto fails = [error](FakeWmi&, FakeGate& gate) { gate.startResult = static_cast<StepResult>(error); };
        EXPECT_EQ(RunMain({k41B}, fails), (Outcome{kNotStarted, Then(kStart, kReleased)}));
    }
}

TEST(Main, ShowsTheAdministratorNoticeWithoutABoardVersion) {
    const auto unreachable = [](FakeWmi& wmi, FakeGate&) { wmi.failingStep = FakeWmi::FailingStep::Bind; };
    const auto noQuery = [](FakeWmi& wmi, FakeGate&) { wmi.failingStep = FakeWmi::FailingStep::Query; };
    // Only the objects that were made are released.
    EXPECT_EQ(RunMain({k41B}, unreachable), (Outcome{kAdministrator, {kAdministratorNotice}}));
    EXPECT_EQ(RunMain({k41B}, noQuery), (Outcome{kAdministrator, {kAdministratorNotice, "services"}}));
    EXPECT_EQ(RunMain({}), (Outcome{kAdministrator,
                                {kAdministratorNotice, "walker", "result set", "services"}}));
    EXPECT_EQ(RunMain({FakeBoardRecord::WithText(u"")}),
              (Outcome{kAdministrator, Then(kAdministratorNotice, kReleased)}));
}

TEST(Main, ShowsTheWrongModelNoticeOnAnotherBoardOrAValuelessVersion) {
    EXPECT_EQ(RunMain({FakeBoardRecord::WithText(u"50B")}),
              (Outcome{kWrongModel, Then(kWrongModelNotice, kReleased)}));
    const Journal replaced = {"record 0", kWrongModelNotice, "walker", "result set", "record 1", "services"};
    EXPECT_EQ(RunMain({FakeBoardRecord::WithText(u"41A"), FakeBoardRecord::WithNullVersion()}),
              (Outcome{kWrongModel, replaced}));
}

TEST(Main, ANoticeThatCannotBeShownStartsNothingAndKeepsTheVerdictsExitStatus) {
    const auto fails = [](FakeWmi&, FakeGate& gate) { gate.noticeResult = kFailed; };
    EXPECT_EQ(RunMain({FakeBoardRecord::WithText(u"")}, fails),
              (Outcome{kAdministrator, Then(kAdministratorNotice, kReleased)}));
    EXPECT_EQ(RunMain({FakeBoardRecord::WithText(u"4")}, fails),
              (Outcome{kWrongModel, Then(kWrongModelNotice, kReleased)}));
}

}  // namespace
}  // namespace flashgate
