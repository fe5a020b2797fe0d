// A Version value, in whatever form WMI hands it over, as the gate reads it.
#include <gtest/gtest.h>

#include <string>

#include "win/com_holders.h"
#include "win/wmi_board_records.h"

namespace flashgate::win {
namespace {

using Units = std::u16string;

Units UnitsOf(const BoardVersionPrefix& prefix) { return Units(prefix.units(), prefix.length()); }

// Converts `version` and expects text with the given units.
void ExpectText(const VARIANT& version, const Units& expected) {
    BoardVersionPrefix prefix;
    ASSERT_EQ(VersionPrefixFromVariant(version, prefix), S_OK);
    EXPECT_EQ(prefix.state(), BoardVersionPrefix::State::Text);
    EXPECT_EQ(UnitsOf(prefix), expected);
}

TEST(VersionVariant, TextIsTakenByItsCountedLength) {
    UniqueVariant version;
    VARIANT* v = version.put();
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocString(L"41B");
    ExpectText(version.get(), u"41");

    v = version.put();
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = SysAllocStringLen(L"\0" L"41", 3);  // the NUL is a character of the text
    ExpectText(version.get(), Units(u"\0" u"4", 2));

    v = version.put();
    V_VT(v) = VT_BSTR;
    V_BSTR(v) = nullptr;  // a null BSTR is empty text
    ExpectText(version.get(), u"");
}

TEST(VersionVariant, NullIsValuelessAndEmptyIsEmptyText) {
    UniqueVariant version;
    V_VT(version.put()) = VT_NULL;
    BoardVersionPrefix prefix;
    ASSERT_EQ(VersionPrefixFromVariant(version.get(), prefix), S_OK);
    EXPECT_EQ(prefix, BoardVersionPrefix::Valueless());

    V_VT(version.put()) = VT_EMPTY;
    ExpectText(version.get(), u"");
}

TEST(VersionVariant, NumbersAreConvertedToText) {
    UniqueVariant version;
    VARIANT* v = version.put();
    V_VT(v) = VT_I4;
    V_I4(v) = 4105;
    ExpectText(version.get(), u"41");

    v = version.put();
    V_VT(v) = VT_UI1;
    V_UI1(v) = 4;
    ExpectText(version.get(), u"4");
}

TEST(VersionVariant, AValueWithoutATextFormCannotBeRead) {
    UniqueVariant version;
    VARIANT* v = version.put();
    V_VT(v) = VT_ARRAY | VT_BSTR;
    SAFEARRAYBOUND bound{1, 0};
    V_ARRAY(v) = SafeArrayCreate(VT_BSTR, 1, &bound);
    ASSERT_NE(V_ARRAY(v), nullptr);

    BoardVersionPrefix prefix = BoardVersionPrefix::FromVersionText(u"50", 2);
    EXPECT_TRUE(FAILED(VersionPrefixFromVariant(version.get(), prefix)));
    EXPECT_EQ(prefix, BoardVersionPrefix::FromVersionText(u"50", 2));  // left as it was

    v = version.put();
    V_VT(v) = VT_DISPATCH;
    V_DISPATCH(v) = nullptr;
    EXPECT_TRUE(FAILED(VersionPrefixFromVariant(version.get(), prefix)));
    EXPECT_EQ(prefix, BoardVersionPrefix::FromVersionText(u"50", 2));
}

}  // namespace
}  // namespace flashgate::win
