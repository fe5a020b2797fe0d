// A Version value, in whatever form WMI hands it over, as the gate reads it.
#include <gtest/gtest.h>

#include <string>

#include "win/com_holders.h"
#include "win/wmi_board_records.h"

namespace flashgate::win {
namespace {

const BoardVersionPrefix k50 = BoardVersionPrefix::FromVersionText(u"50", 2);

// The prefix read from a variant that `fill` sets up; starts as "50", which a
// value that cannot be read leaves as it is.
template <class Fill>
std::pair<HRESULT, BoardVersionPrefix> Read(Fill fill) {
    UniqueVariant version;
    fill(*version.put());
    BoardVersionPrefix prefix = k50;
    const HRESULT hr = VersionPrefixFromVariant(version.get(), prefix);
    return {hr, prefix};
}

BoardVersionPrefix Text(std::u16string_view text) { return BoardVersionPrefix::FromVersionText(text.data(), text.size()); }

TEST(VersionVariant, TextIsTakenByItsCountedLengthNullIsValuelessAndEmptyIsEmptyText) {
    const auto bstr = [](const wchar_t* text, UINT length) {
        return [=](VARIANT& v) { V_VT(&v) = VT_BSTR; V_BSTR(&v) = text ? SysAllocStringLen(text, length) : nullptr; };
    };
    EXPECT_EQ(Read(bstr(L"41B", 3)), std::make_pair(S_OK, Text(u"41")));
    // The NUL is a character of the text; a null BSTR is empty text.
    EXPECT_EQ(Read(bstr(L"\0" L"41", 3)), std::make_pair(S_OK, Text(std::u16string(u"\0" u"4", 2))));
    EXPECT_EQ(Read(bstr(L"4\0" L"1", 3)), std::make_pair(S_OK, Text(std::u16string(u"4\0", 2))));
    EXPECT_EQ(Read(bstr(nullptr, 0)), std::make_pair(S_OK, Text(u"")));
    EXPECT_EQ(Read([](VARIANT& v) { V_VT(&v) = VT_NULL; }), std::make_pair(S_OK, BoardVersionPrefix::Valueless()));
    EXPECT_EQ(Read([](VARIANT& v) { V_VT(&v) = VT_EMPTY; }), std::make_pair(S_OK, Text(u"")));
}

TEST(VersionVariant, NumbersAreConvertedToText) {
    EXPECT_EQ(Read([](VARIANT& v) { V_VT(&v) = VT_I4; V_I4(&v) = 4105; }), std::make_pair(S_OK, Text(u"41")));
}

TEST(VersionVariant, AValueWithoutATextFormCannotBeReadAndChangesNothing) {
    const auto array = Read([](VARIANT& v) {
        SAFEARRAYBOUND bound{1, 0};
        V_VT(&v) = VT_ARRAY | VT_BSTR;
        V_ARRAY(&v) = SafeArrayCreate(VT_BSTR, 1, &bound);
    });
    EXPECT_TRUE(FAILED(array.first));
    EXPECT_EQ(array.second, k50);
    const auto object = Read([](VARIANT& v) { V_VT(&v) = VT_DISPATCH; V_DISPATCH(&v) = nullptr; });
    EXPECT_TRUE(FAILED(object.first));
    EXPECT_EQ(object.second, k50);
}

}  // namespace
}  // namespace flashgate::win
