// The start-up routine's effects: one notice or one start, never both, with
// the exit status that says which.
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"
#include "gate/modMain.h"

namespace flashgate {
namespace {

using testing::FakeBoardRecord;
using testing::FakeGate;
using testing::FakeWmi;
using Event = FakeGate::Event;

// Typed out again here, not taken from the program, so that an edit to the
// program's texts shows up as a failure.
constexpr char16_t kAdministratorText[] =
    u"You must be logged in with administrator privilege in order to update the system BIOS.  "
    u"The system BIOS will not be updated.";
constexpr char16_t kWrongModelText[] = u"This BIOS is not for your Notebook PC.";

struct GateRun {
    FakeWmi wmi;
    FakeGate gate;
    ExitStatus status{};

    explicit GateRun(std::vector<FakeBoardRecord> records) {
        wmi.records = std::move(records);
        gate.journal = &wmi.released;
    }

    GateRun& Go() {
        status = Main(wmi, gate);
        return *this;
    }
};

void ExpectOneNotice(const GateRun& run, const char16_t* text, const char16_t* title) {
    ASSERT_EQ(run.gate.events.size(), 1u);
    const Event& notice = run.gate.events[0];
    EXPECT_EQ(notice.kind, Event::Kind::Notice);
    EXPECT_EQ(notice.text, text);
    EXPECT_EQ(notice.title, title);
    EXPECT_EQ(notice.style, 0x30u);  // MB_OK | MB_ICONEXCLAMATION
}

TEST(MainOnAMatchingBoard, StartsTheFlashUtilityOnceAndShowsNothing) {
    GateRun run({FakeBoardRecord::WithText(u"41B")});
    run.Go();

    ASSERT_EQ(run.gate.events.size(), 1u);
    EXPECT_EQ(run.gate.events[0].kind, Event::Kind::Start);
    EXPECT_EQ(run.gate.events[0].text, u"WinPhlash.exe");
    EXPECT_EQ(run.gate.events[0].showState, 1);  // SW_SHOWNORMAL
    EXPECT_EQ(run.status, ExitStatus::FlashUtilityStarted);
}

// A flash utility that requires elevation: plain process creation answers
// ERROR_ELEVATION_REQUIRED, and the same file is then started through the shell.
TEST(MainOnAMatchingBoard, StartsAFlashUtilityThatRequiresElevationThroughTheShell) {
    GateRun run({FakeBoardRecord::WithText(u"41B")});
    run.gate.startResult = static_cast<StepResult>(0x800702E4u);  // ERROR_ELEVATION_REQUIRED
    run.Go();

    ASSERT_EQ(run.gate.events.size(), 2u);
    EXPECT_EQ(run.gate.events[0].kind, Event::Kind::Start);
    EXPECT_EQ(run.gate.events[1].kind, Event::Kind::ShellStart);
    EXPECT_EQ(run.gate.events[1].text, u"WinPhlash.exe");
    EXPECT_EQ(run.gate.events[1].showState, 1);
    EXPECT_EQ(run.status, ExitStatus::FlashUtilityStarted);
}

TEST(MainOnAMatchingBoard, ADeclinedOrFailedShellStartIsSilent) {
    GateRun run({FakeBoardRecord::WithText(u"41B")});
    run.gate.startResult = static_cast<StepResult>(0x800702E4u);
    run.gate.shellStartResult = static_cast<StepResult>(0x800704C7u);  // ERROR_CANCELLED: consent declined
    run.Go();

    ASSERT_EQ(run.gate.events.size(), 2u);
    EXPECT_EQ(run.gate.events[1].kind, Event::Kind::ShellStart);
    EXPECT_EQ(run.status, ExitStatus::FlashUtilityNotStarted);
}

TEST(MainOnAMatchingBoard, AnyOtherFailedStartShowsNothingAndSaysSoInTheExitStatus) {
    for (const auto error : {0x80070002u, 0x80070005u, 0x800700C1u, 0x80004005u}) {
        // file not found, access denied, not a valid program, unspecified
        GateRun run({FakeBoardRecord::WithText(u"41B")});
        run.gate.startResult = static_cast<StepResult>(error);
        run.Go();

        ASSERT_EQ(run.gate.events.size(), 1u) << std::hex << error;
        EXPECT_EQ(run.gate.events[0].kind, Event::Kind::Start);
        EXPECT_EQ(run.status, ExitStatus::FlashUtilityNotStarted);
    }
}

TEST(MainWithoutABoardVersion, ShowsTheAdministratorNotice) {
    GateRun unreachable({FakeBoardRecord::WithText(u"41B")});
    unreachable.wmi.failingStep = FakeWmi::FailingStep::Bind;
    GateRun noRecords({});
    GateRun emptyVersion({FakeBoardRecord::WithText(u"")});

    for (GateRun* run : {&unreachable, &noRecords, &emptyVersion}) {
        run->Go();
        ExpectOneNotice(*run, kAdministratorText, u"Dorvanel");
        EXPECT_EQ(run->status, ExitStatus::AdministratorNotice);
    }
}

TEST(MainOnAnotherBoard, ShowsTheWrongModelNotice) {
    GateRun other({FakeBoardRecord::WithText(u"50B")});
    GateRun valueless({FakeBoardRecord::WithText(u"41A"), FakeBoardRecord::WithNullVersion()});

    for (GateRun* run : {&other, &valueless}) {
        run->Go();
        ExpectOneNotice(*run, kWrongModelText, u"WinPhlash");
        EXPECT_EQ(run->status, ExitStatus::WrongModelNotice);
    }
}

TEST(MainWhenANoticeFails, StartsNothingAndKeepsTheVerdictsExitStatus) {
    GateRun noVersion({});
    GateRun other({FakeBoardRecord::WithText(u"4")});

    for (GateRun* run : {&noVersion, &other}) {
        run->gate.noticeResult = static_cast<StepResult>(0x80004005u);  // E_FAIL
        run->Go();
        ASSERT_EQ(run->gate.events.size(), 1u);
        EXPECT_EQ(run->gate.events[0].kind, Event::Kind::Notice);
    }
    EXPECT_EQ(noVersion.status, ExitStatus::AdministratorNotice);
    EXPECT_EQ(other.status, ExitStatus::WrongModelNotice);
}

TEST(MainBoardQueryObjects, StayAliveUntilTheGateHasActedThenGoInOrder) {
    GateRun notice({FakeBoardRecord::WithText(u"50B"), FakeBoardRecord::WithText(u"50C")});
    GateRun start({FakeBoardRecord::WithText(u"41B")});

    for (GateRun* run : {&notice, &start}) {
        run->Go();
        ASSERT_EQ(run->gate.events.size(), 1u);
        const testing::ReleaseJournal& before = run->gate.events[0].releasedBefore;
        EXPECT_EQ(std::count(before.begin(), before.end(), "services"), 0);
        EXPECT_EQ(std::count(before.begin(), before.end(), "walker"), 0);
    }
    EXPECT_EQ(notice.wmi.released,
              (testing::ReleaseJournal{"record 0", "walker", "result set", "record 1", "services"}));
    EXPECT_EQ(start.wmi.released, (testing::ReleaseJournal{"walker", "result set", "record 0", "services"}));
}

TEST(MainBoardQueryObjects, OnlyFilledSlotsAreReleased) {
    GateRun bindFails({FakeBoardRecord::WithText(u"41B")});
    bindFails.wmi.failingStep = FakeWmi::FailingStep::Bind;
    GateRun queryFails({FakeBoardRecord::WithText(u"41B")});
    queryFails.wmi.failingStep = FakeWmi::FailingStep::Query;

    bindFails.Go();
    queryFails.Go();

    EXPECT_TRUE(bindFails.wmi.released.empty());
    EXPECT_EQ(queryFails.wmi.released, testing::ReleaseJournal{"services"});
}

}  // namespace
}  // namespace flashgate
