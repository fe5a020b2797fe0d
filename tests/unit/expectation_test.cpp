// What the self-test expects of a board, as README's table says, and how it
// shows a Version to a person.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "selftest/expectation.h"

namespace flashgate::selftest {
namespace {

BoardRecord Text(std::wstring text) { return {BoardRecord::Version::Text, std::move(text)}; }
const BoardRecord kNull{BoardRecord::Version::Null, L""};
const BoardRecord kUnreadable{BoardRecord::Version::Unreadable, L"", static_cast<long>(0x80004005)};  // E_FAIL

TEST(SelfTestExpectation, TheLastReadableRecordDecidesAsReadmeSays) {
    struct Case {
        std::vector<BoardRecord> records;
        Outcome expected;
    };
    const Outcome admit = Outcome::Admit, administrator = Outcome::AdministratorNotice,
                  wrongModel = Outcome::WrongModelNotice;
    const std::vector<Case> cases = {
        {{}, administrator},
        {{Text(L"41B")}, admit},
        {{Text(L"41")}, admit},
        {{Text(L"4")}, wrongModel},
        {{Text(L" 41")}, wrongModel},
        {{Text(L"1.41")}, wrongModel},
        {{Text(L"\uFF14\uFF11")}, wrongModel},
        {{Text(std::wstring(L"4\0" L"1", 3))}, wrongModel},
        {{Text(L"")}, administrator},
        {{kNull}, wrongModel},
        {{kUnreadable}, administrator},
        {{Text(L"41A"), Text(L"50B")}, wrongModel},
        {{Text(L"50B"), Text(L"41A")}, admit},
        {{Text(L"50B"), kUnreadable}, wrongModel},
        {{Text(L"41A"), kUnreadable}, admit},
        {{Text(L"41A"), kNull}, wrongModel},
        {{kNull, Text(L"")}, administrator},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        BoardReading board;
        board.records = cases[i].records;
        EXPECT_EQ(ExpectedOutcome(board), cases[i].expected) << "case " << i;
    }
}

TEST(SelfTestExpectation, AVersionIsShownQuotedWithItsUnitsWhereAnyIsNotPrintable) {
    EXPECT_EQ(DescribeVersion(Text(L"41B")), L"\"41B\"");
    EXPECT_EQ(DescribeVersion(Text(L"")), L"\"\"");
    EXPECT_EQ(DescribeVersion(Text(std::wstring(L"4\0" L"1", 3))), L"\"4?1\" (UTF-16 units 0034 0000 0031)");
    EXPECT_EQ(DescribeVersion(Text(L"\u00C41")), L"\"?1\" (UTF-16 units 00C4 0031)");
    EXPECT_EQ(DescribeVersion(kNull), L"null (no value)");
    EXPECT_EQ(DescribeVersion(kUnreadable), L"unreadable (error 0x80004005)");
}

}  // namespace
}  // namespace flashgate::selftest
