// The window layer's HRESULT check: a failure names the call, its value and the place of the check; the text
// formats of the window are set in the current locale.
#include "splash/win/CallFailed.h"

#include <gtest/gtest.h>

#include "splash/win/widgets/TextFormat.h"
#include "splash/win/widgets/WidgetDrawing.h"
#include "testing/LogCapture.h"
#include "utils/Settings.h"

namespace {

using namespace Nolvar;

TEST(CallFailedTest, AFailureIsLoggedWithTheCallItsValueAndThePlaceOfTheCheck) {
    Testing::LogCapture log;
    EXPECT_FALSE(CallFailed(S_OK, "Fine"));
    EXPECT_FALSE(CallFailed(S_FALSE, "AlsoFine")) << "S_FALSE is a success";
    const int checkLine = __LINE__ + 1;
    EXPECT_TRUE(CallFailed(E_OUTOFMEMORY, "CreateSomething"));
    EXPECT_TRUE(CallFailed(static_cast<HRESULT>(D2DERR_RECREATE_TARGET), "EndDraw", google::GLOG_WARNING));

    const auto lines = log.all();
    ASSERT_EQ(lines.size(), 2u) << "successes are not logged";
    EXPECT_EQ(lines[0].text, "CreateSomething failed: 0x8007000e");
    EXPECT_EQ(lines[0].severity, google::GLOG_ERROR);
    EXPECT_EQ(lines[0].file, "CallFailedTest.cpp");
    EXPECT_EQ(lines[0].line, checkLine);
    EXPECT_EQ(lines[1].text, "EndDraw failed: 0x8899000c");
    EXPECT_EQ(lines[1].severity, google::GLOG_WARNING);
}

TEST(CallFailedTest, TextFormatsAreVerdanaInTheCurrentLocale) {
    const auto factory = SharedDirectWriteFactory();
    ASSERT_TRUE(factory);
    Settings::Set(Settings::ID::Locale, std::string("ru-RU"));
    const auto format =
        MakeTextFormat(factory.Get(), 18, DWRITE_TEXT_ALIGNMENT_CENTER, DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    ASSERT_TRUE(format);
    wchar_t text[64] = {};
    ASSERT_EQ(format->GetLocaleName(text, 64), S_OK);
    EXPECT_EQ(_wcsicmp(text, L"ru-RU"), 0) << "(Wine keeps locale names in lower case)";
    ASSERT_EQ(format->GetFontFamilyName(text, 64), S_OK);
    EXPECT_STREQ(text, L"Verdana");
    EXPECT_FLOAT_EQ(format->GetFontSize(), 18);
    EXPECT_EQ(format->GetTextAlignment(), DWRITE_TEXT_ALIGNMENT_CENTER);
    EXPECT_EQ(format->GetParagraphAlignment(), DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
    EXPECT_EQ(format->GetFontWeight(), DWRITE_FONT_WEIGHT_NORMAL);
    EXPECT_FALSE(MakeTextFormat(nullptr, 12, DWRITE_TEXT_ALIGNMENT_LEADING, DWRITE_PARAGRAPH_ALIGNMENT_NEAR));
}

} // namespace
