// The window layer's HRESULT check: a failure names the call, its value and the place of the check; the text
// formats of the window are set in the current locale.
#include "splash/win/CallFailed.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "splash/win/widgets/TextFormat.h"
#include "splash/win/widgets/WidgetBase.h"
#include "utils/Settings.h"

namespace {

using namespace Nolvar;

// The log lines written while it exists, with the file and line they name.
class PlaceRecorder final : public google::LogSink {
public:
    struct Line {
        google::LogSeverity severity;
        std::string file;
        int line;
        std::string text;
    };
    PlaceRecorder() { google::AddLogSink(this); }
    ~PlaceRecorder() override { google::RemoveLogSink(this); }
    void send(google::LogSeverity severity, const char*, const char* baseFile, int line, const google::LogMessageTime&,
              const char* message, size_t length) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back({severity, baseFile, line, std::string(message, length)});
    }
    std::vector<Line> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Line> m_lines;
};

TEST(CallFailedTest, AFailureIsLoggedWithTheCallItsValueAndThePlaceOfTheCheck) {
    PlaceRecorder log;
    EXPECT_FALSE(CallFailed(S_OK, "Fine"));
    EXPECT_FALSE(CallFailed(S_FALSE, "AlsoFine")) << "S_FALSE is a success";
    const int checkLine = __LINE__ + 1;
    EXPECT_TRUE(CallFailed(E_OUTOFMEMORY, "CreateSomething"));
    EXPECT_TRUE(CallFailed(static_cast<HRESULT>(D2DERR_RECREATE_TARGET), "EndDraw", google::GLOG_WARNING));

    const auto lines = log.lines();
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
    const auto format = MakeTextFormat(factory.Get(), 18, DWRITE_TEXT_ALIGNMENT_CENTER, DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
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
