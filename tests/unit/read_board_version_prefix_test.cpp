// The walk over board records: which record decides, and what each failure
// leaves behind.
#include <gtest/gtest.h>

#include <vector>

#include "board/read_board_version_prefix.h"
#include "fakes.h"

namespace flashgate {
namespace {

using testing::FakeBoardRecord;
using testing::FakeWmi;
using testing::Prefix;

FakeBoardRecord Text(std::u16string text) { return FakeBoardRecord::WithText(std::move(text)); }
const FakeBoardRecord kNull = FakeBoardRecord::WithNullVersion();
const FakeBoardRecord kUnreadable = FakeBoardRecord::WithUnreadableVersion();

struct WalkCase {
    const char* name;
    std::vector<FakeBoardRecord> records;
    BoardVersionPrefix expected;
    FakeWmi::FailingStep failingStep = FakeWmi::FailingStep::None;
    std::size_t walkFailsAfter = SIZE_MAX;
    StepResult success = kStepOk;
};

void PrintTo(const WalkCase& c, std::ostream* out) { *out << c.name; }

class Walk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(Walk, LeavesThePrefixOfTheLastReadableRecord) {
    const WalkCase& c = GetParam();
    FakeWmi wmi;
    wmi.records = c.records;
    wmi.failingStep = c.failingStep;
    wmi.walkFailsAfter = c.walkFailsAfter;
    wmi.success = c.success;
    BoardVersionPrefix prefix;
    BoardQueryObjects<FakeWmi> objects;

    ReadBoardVersionPrefix(wmi, prefix, objects);

    EXPECT_EQ(prefix, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    BoardRecords, Walk,
    ::testing::Values(
        WalkCase{"OneMatchingBoard", {Text(u"41B")}, Prefix(u"41")},
        WalkCase{"OneShortVersion", {Text(u"4")}, Prefix(u"4")},
        WalkCase{"EmptyVersion", {Text(u"")}, Prefix(u"")},
        WalkCase{"NoRecords", {}, BoardVersionPrefix{}},
        WalkCase{"LastOfThreeMatches", {Text(u"41"), Text(u"50"), Text(u"41")}, Prefix(u"41")},
        WalkCase{"LastOfThreeDoesNot", {Text(u"41"), Text(u"41"), Text(u"50")}, Prefix(u"50")},
        WalkCase{"UnreadableAfterMatchIsSkipped", {Text(u"41X"), kUnreadable}, Prefix(u"41")},
        WalkCase{"UnreadableBeforeMatchIsSkipped", {kUnreadable, Text(u"41X")}, Prefix(u"41")},
        WalkCase{"OnlyUnreadable", {kUnreadable, kUnreadable}, BoardVersionPrefix{}},
        WalkCase{"NullAfterMatch", {Text(u"41X"), kNull}, BoardVersionPrefix::Valueless()},
        WalkCase{"MatchAfterNull", {kNull, Text(u"41X")}, Prefix(u"41")},
        WalkCase{"BindFails", {Text(u"41B")}, BoardVersionPrefix{}, FakeWmi::FailingStep::Bind},
        WalkCase{"QueryFails", {Text(u"41B")}, BoardVersionPrefix{}, FakeWmi::FailingStep::Query},
        WalkCase{"WalkCannotStart", {Text(u"41B")}, BoardVersionPrefix{}, FakeWmi::FailingStep::StartWalk},
        WalkCase{"WalkFailsBeforeFirst", {Text(u"41B")}, BoardVersionPrefix{}, FakeWmi::FailingStep::None, 0},
        WalkCase{"WalkFailsMidway", {Text(u"41B"), Text(u"50B")}, Prefix(u"41"), FakeWmi::FailingStep::None, 1},
        // WBEM_S_PARTIAL_RESULTS: a success like any other.
        WalkCase{"SuccessWithInformation", {Text(u"41B")}, Prefix(u"41"), FakeWmi::FailingStep::None, SIZE_MAX,
                 static_cast<StepResult>(0x00040010)}),
    [](const ::testing::TestParamInfo<WalkCase>& param) { return param.param.name; });

}  // namespace
}  // namespace flashgate
