// The WMI steps against the platform's real WMI (Wine's, when run here).
#include <gtest/gtest.h>

#include "win/com_holders.h"
#include "win/wmi_board_records.h"

namespace flashgate::win {
namespace {

class WmiBoardRecordsTest : public ::testing::Test {
protected:
    ComApartment com_{COINIT_APARTMENTTHREADED};
    WmiBoardRecords wmi_;
    WmiBoardRecords::Services services_;
    WmiBoardRecords::ResultSet resultSet_;
    WmiBoardRecords::Walker walker_;
    WmiBoardRecords::Record record_;
};

// A machine may have no board record at all (README: the administrator
// notice); each record there is, is read.
TEST_F(WmiBoardRecordsTest, EveryStepSucceedsAndEachBoardRecordHasAVersion) {
    ASSERT_TRUE(wmi_.BindServices(services_) == S_OK && services_);
    ASSERT_TRUE(SUCCEEDED(wmi_.ExecQuery(services_, resultSet_)) && resultSet_);
    ASSERT_TRUE(SUCCEEDED(wmi_.StartWalk(resultSet_, walker_)) && walker_);

    while (wmi_.NextRecord(walker_, record_) == S_OK) {
        BoardVersionPrefix prefix;
        EXPECT_EQ(wmi_.ReadVersion(record_, prefix), S_OK);
        EXPECT_NE(prefix.state(), BoardVersionPrefix::State::NothingRead);
    }
    // A forward-only walk stays at its end.
    EXPECT_EQ(wmi_.NextRecord(walker_, record_), S_FALSE);
}

TEST_F(WmiBoardRecordsTest, StepsOnEmptySlotsFailWithoutTouchingTheirOutput) {
    BoardVersionPrefix prefix = BoardVersionPrefix::FromVersionText(u"41", 2);

    EXPECT_EQ(wmi_.ExecQuery(services_, resultSet_), E_POINTER);
    EXPECT_EQ(wmi_.StartWalk(resultSet_, walker_), E_POINTER);
    EXPECT_EQ(wmi_.NextRecord(walker_, record_), E_POINTER);
    EXPECT_EQ(wmi_.ReadVersion(record_, prefix), E_POINTER);

    EXPECT_FALSE(resultSet_);
    EXPECT_FALSE(walker_);
    EXPECT_FALSE(record_);
    EXPECT_EQ(prefix, BoardVersionPrefix::FromVersionText(u"41", 2));
}

}  // namespace
}  // namespace flashgate::win
