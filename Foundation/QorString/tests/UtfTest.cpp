#include "QorString/Utf.h"

#include <gtest/gtest.h>

using namespace Nolvar::Core;

TEST(Utf, RoundTripsCyrillicAndAstralText) {
    const std::string text = "Пользователь \xF0\x9F\x98\x80 user";
    EXPECT_EQ(Utf8FromWstring(WstringFromUtf8(text)), text);
    EXPECT_EQ(WstringFromUtf8("Пр"), std::wstring(L"\x041F\x0440"));
}

TEST(Utf, InvalidSequencesBecomeReplacementCharacters) {
    EXPECT_EQ(WstringFromUtf8("a\xFF" "b"), std::wstring(L"a\xFFFD" L"b"));
    EXPECT_EQ(Utf8FromWstring(std::wstring(1, wchar_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_TRUE(Utf8FromWstring(L"").empty());
}
