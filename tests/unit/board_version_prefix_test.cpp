// From a board's Version text to the prefix and the gate verdict it earns.
#include <gtest/gtest.h>

#include <string>

#include "fakes.h"
#include "gate/update_gate.h"

namespace flashgate {
namespace {

using testing::Prefix;

struct VersionCase {
    const char* name;
    std::u16string version;
    std::u16string expectedPrefix;
    GateVerdict expectedVerdict;
};

void PrintTo(const VersionCase& c, std::ostream* out) { *out << c.name; }

class FromVersionText : public ::testing::TestWithParam<VersionCase> {};

TEST_P(FromVersionText, TakesTheFirstTwoUnitsAndJudgesThem) {
    const VersionCase& c = GetParam();
    const BoardVersionPrefix prefix = Prefix(c.version);

    EXPECT_EQ(prefix.state(), BoardVersionPrefix::State::Text);
    EXPECT_EQ(std::u16string(prefix.units(), prefix.length()), c.expectedPrefix);
    EXPECT_EQ(FormGateVerdict(prefix), c.expectedVerdict);
}

INSTANTIATE_TEST_SUITE_P(
    BoardVersions, FromVersionText,
    ::testing::Values(
        VersionCase{"Letter41B", u"41B", u"41", GateVerdict::Admit},
        VersionCase{"Dotted41_05", u"41.05", u"41", GateVerdict::Admit},
        VersionCase{"Exactly41", u"41", u"41", GateVerdict::Admit},
        VersionCase{"SingleDigit", u"4", u"4", GateVerdict::OtherBoard},
        VersionCase{"OtherModel", u"50B", u"50", GateVerdict::OtherBoard},
        VersionCase{"KeyLaterInText", u"1.41", u"1.", GateVerdict::OtherBoard},
        VersionCase{"LeadingSpaceNotTrimmed", u" 41", u" 4", GateVerdict::OtherBoard},
        VersionCase{"Reversed", u"14", u"14", GateVerdict::OtherBoard},
        VersionCase{"LeadingZero", u"041", u"04", GateVerdict::OtherBoard},
        VersionCase{"FullwidthDigitsNotFolded", u"\uFF14\uFF11", u"\uFF14\uFF11", GateVerdict::OtherBoard},
        VersionCase{"EmptyText", u"", u"", GateVerdict::NoVersion},
        VersionCase{"EmbeddedNulCounts", std::u16string(u"\0" u"41", 3), std::u16string(u"\0" u"4", 2),
                    GateVerdict::OtherBoard},
        VersionCase{"EmbeddedNulSecondCounts", std::u16string(u"4\0" u"1", 3), std::u16string(u"4\0", 2),
                    GateVerdict::OtherBoard},
        VersionCase{"NulAfterKey", std::u16string(u"41\0", 3), u"41", GateVerdict::Admit},
        VersionCase{"SurrogatePairCutInHalf", u"4\U0001F600", u"4\xD83D", GateVerdict::OtherBoard},
        VersionCase{"WholeSurrogatePair", u"\U0001F600" u"41", u"\U0001F600", GateVerdict::OtherBoard}),
    [](const ::testing::TestParamInfo<VersionCase>& param) { return param.param.name; });

// Each unit of the key is compared on its own and exactly: the key with any
// one unit changed to any other value is another board.
TEST(GateVerdict, AdmitsTheKeyAndNothingOneUnitAway) {
    EXPECT_EQ(FormGateVerdict(Prefix(u"41")), GateVerdict::Admit);
    for (std::size_t at = 0; at < 2; ++at) {
        for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
            std::u16string version = u"41";
            if (unit != version[at]) {
                version[at] = static_cast<char16_t>(unit);
                ASSERT_EQ(FormGateVerdict(Prefix(version)), GateVerdict::OtherBoard) << at << ": " << unit;
            }
        }
    }
}

TEST(GateVerdictForStates, NothingReadGetsTheAdministratorNoticeAndValuelessIsNeverAdmitted) {
    EXPECT_EQ(FormGateVerdict(BoardVersionPrefix{}), GateVerdict::NoVersion);
    EXPECT_EQ(FormGateVerdict(BoardVersionPrefix::Valueless()), GateVerdict::OtherBoard);
}

}  // namespace
}  // namespace flashgate
