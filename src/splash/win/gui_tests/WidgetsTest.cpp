// Labels, the progress bar and indicator, the scroll area and the two pop-ups, on real windows.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "splash/win/SplashMessage.h"
#include "splash/win/gui_tests/WidgetTestSupport.h"
#include "splash/win/widgets/Button.h"
#include "splash/win/widgets/Label.h"
#include "splash/win/widgets/Popups.h"
#include "splash/win/widgets/ProgressBars.h"
#include "splash/win/widgets/ScrollArea.h"
#include "testing/WindowProbe.h"
#include "utils/Settings.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;
using namespace WidgetTesting;

const UINT kPopupResult = ToMessage(SplashMessage::PopupResult);
constexpr std::uint32_t kTrack = 0xDDE2E5;
constexpr std::uint32_t kFill = 0x168FD3;

class WidgetsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::Set(Settings::ID::Locale, std::string("en-US"));
        SetCursorPos(1900, 1060);  // the pointer away from where widgets appear
    }
    void TearDown() override { Settings::Set(Settings::ID::Locale, std::string("en-US")); }

    TestParent parent;
    Microsoft::WRL::ComPtr<ID2D1Factory> factory = CreateFactory();
};

TEST_F(WidgetsTest, ALabelDrawsItsTextIntoTheGivenTargetAndFillsItsPlaceholder) {
    OffscreenTarget target(factory.Get(), 400, 60);
    auto label = Label::Create(0, UiText::InstallingPercent, POINT{10, 5}, target.target(), L"__PERCENT__");
    label->SetPlaceholderValue(L"42");
    EXPECT_NE(label->text().find(L"42% finished"), std::wstring::npos);
    target.begin();
    target.target()->Clear(D2D1::ColorF(1, 1, 1));
    label->redraw();
    ASSERT_HRESULT_SUCCEEDED(target.end());
    int dark = 0;
    int darkFarRight = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 400; ++x) {
            if (!Testing::IsDark(target.pixel(x, y))) continue;
            ++dark;
            if (x >= 395) ++darkFarRight;
        }
    EXPECT_GT(dark, 50) << "the text is drawn";
    EXPECT_EQ(target.pixel(2, 55) & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(label->asLabel(), label.get());
    EXPECT_EQ(label->renderTarget(), target.target());
}

TEST_F(WidgetsTest, TheProgressBarFillsItsShareOfTheWidth) {
    auto bar = ProgressBar::Create(34477, {0, 100, 600, 164}, factory.Get(), parent.hwnd());
    for (int value : {0, 50, 100}) {
        bar->SetValue(value);
        auto shot = Testing::CaptureClientAfterRepaint(bar->window());
        ASSERT_TRUE(shot);
        SCOPED_TRACE("value " + std::to_string(value));
        EXPECT_EQ(shot->width, 600);
        EXPECT_TRUE(Testing::ColourNear(shot->at(3, 5), value == 0 ? kTrack : kFill)) << std::hex << shot->at(3, 5);
        EXPECT_TRUE(Testing::ColourNear(shot->at(290, 5), value >= 50 ? kFill : kTrack)) << std::hex << shot->at(290, 5);
        EXPECT_TRUE(Testing::ColourNear(shot->at(310, 5), value == 100 ? kFill : kTrack)) << std::hex << shot->at(310, 5);
        EXPECT_TRUE(Testing::ColourNear(shot->at(597, 5), value == 100 ? kFill : kTrack));
        EXPECT_GT(shot->count(RECT{0, 14, 600, 64}, [](auto c) { return Testing::IsDark(c); }), 30) << "the text";
    }
}

TEST_F(WidgetsTest, TheActivityIndicatorSweepsAndSurvivesBeingDestroyedMidTick) {
    EXPECT_EQ(ProgressIndicator::SegmentAt(0.0, 600).second, 0.0f);
    EXPECT_EQ(ProgressIndicator::SegmentAt(3.0, 600).second, 0.0f);
    const auto middle = ProgressIndicator::SegmentAt(1.5, 600);
    EXPECT_NEAR(middle.second - middle.first, 0.33f * 600, 1.0f);
    EXPECT_NEAR(ProgressIndicator::SegmentAt(2.99, 600).second, 600.0f, 0.01f);

    auto indicator = ProgressIndicator::Create(34478, {0, 100, 600, 112}, factory.Get(), parent.hwnd());
    int seenFill = 0;
    for (int i = 0; i < 12 && seenFill == 0; ++i) {
        Testing::PumpMessagesFor(250ms);
        auto shot = Testing::CaptureClient(indicator->window());
        ASSERT_TRUE(shot);
        seenFill = shot->count(RECT{0, 0, 600, 12}, [](auto c) { return Testing::ColourNear(c, kFill); });
    }
    EXPECT_GT(seenFill, 0) << "the segment moves across the track";
    indicator.reset();
    for (int i = 0; i < 5; ++i) {
        auto again = ProgressIndicator::Create(34478, {0, 100, 600, 112}, factory.Get(), parent.hwnd());
        Testing::PumpMessagesFor(std::chrono::milliseconds(5 + 7 * i));
    }
}

class CountingObserver : public ISplashEventObserver {
public:
    void OnStartPressed() override {}
    void OnReadyPressed() override {}
    void OnExit(int, const std::string&) override {}
    void OnEulaRequestSucceeded() override { ++succeeded; }
    void OnEulaRequestFailed() override { ++failed; }
    void OnEulaShown() override {}
    void OnEulaHidden() override {}
    void OnSkip() override {}
    void OnRetryPressed() override {}
    void OnRetryCancelled() override {}
    void OnSelectFolder() override {}
    void OnScreenShown(int, bool) override {}
    void OnScreenImageAdded(int) override {}
    void OnSomethingWrongShown(const std::string&) override {}
    int succeeded = 0;
    int failed = 0;
};

std::string LongText(const std::string& word) {
    std::string text;
    for (int i = 0; i < 120; ++i) text += word + " line " + std::to_string(i) + "\n";
    return text;
}

TEST_F(WidgetsTest, AScrollAreaWithATextThatFitsIgnoresScrolling) {
    CountingObserver observer;
    auto area = ScrollArea::Create(34474, parent.hwnd(), factory.Get(), {12, 100, 658, 211}, observer,
                                   [] { return std::string("A short licence."); });
    Testing::PumpMessagesFor(100ms);
    EXPECT_EQ(observer.succeeded, 1);
    EXPECT_FALSE(area->scrollable());
    Testing::Wheel(area->textWindow(), -WHEEL_DELTA, POINT{50, 50}, Testing::InputMode::Posted);
    Testing::PressKeys(area->textWindow(), {VK_DOWN, VK_DOWN}, Testing::InputMode::Posted);
    Testing::Click(area->barWindow(), POINT{3, 100}, Testing::InputMode::Posted);
    Testing::PumpMessagesFor(100ms);
    EXPECT_EQ(area->thumbTop(), 0.0f);
    EXPECT_EQ(area->textOffset(), 0.0f);
    auto bar = Testing::CaptureClientAfterRepaint(area->barWindow());
    ASSERT_TRUE(bar);
    EXPECT_TRUE(Testing::ColourNear(bar->at(3, 50), 0xE8EAED, 6)) << "no thumb, only the bar's background";
    auto text = Testing::CaptureClientAfterRepaint(area->textWindow());
    ASSERT_TRUE(text);
    EXPECT_GT(text->count(RECT{0, 0, 300, 30}, [](auto c) { return Testing::IsDark(c); }), 20);
}

TEST_F(WidgetsTest, AnOverflowingTextScrollsByWheelKeysAndThumbAndReloadsOnALocaleChange) {
    CountingObserver observer;
    auto area = ScrollArea::Create(34474, parent.hwnd(), factory.Get(), {12, 100, 658, 211}, observer,
                                   [] { return LongText(GetCurrentLocale()); });
    Testing::PumpMessagesFor(100ms);
    ASSERT_TRUE(area->scrollable());
    EXPECT_GE(area->thumbHeight(), 42.0f);
    EXPECT_EQ(area->thumbTop(), 0.0f);

    Testing::Wheel(area->textWindow(), -WHEEL_DELTA, POINT{50, 50}, Testing::InputMode::Posted);
    Testing::PumpMessagesFor(50ms);
    const float afterWheel = area->thumbTop();
    EXPECT_GT(afterWheel, 0.0f);
    EXPECT_GT(area->textOffset(), 0.0f);
    Testing::PressKeys(area->textWindow(), {VK_DOWN}, Testing::InputMode::Posted);
    Testing::PumpMessagesFor(50ms);
    EXPECT_GT(area->thumbTop(), afterWheel);
    Testing::PressKeys(area->textWindow(), {VK_UP, VK_UP, VK_UP}, Testing::InputMode::Posted);
    Testing::PumpMessagesFor(50ms);
    EXPECT_EQ(area->thumbTop(), 0.0f) << "clamped at the top";

    // Drag the thumb far below the bar: it stops at the end.
    const int grab = static_cast<int>(area->thumbHeight() / 2);
    ASSERT_TRUE(Testing::Drag(area->barWindow(), POINT{3, grab}, POINT{3, 400}));
    Testing::PumpMessagesFor(100ms);
    EXPECT_NEAR(area->thumbTop() + area->thumbHeight(), 111.0f, 0.5f);
    auto bar = Testing::CaptureClientAfterRepaint(area->barWindow());
    ASSERT_TRUE(bar);
    EXPECT_TRUE(Testing::ColourNear(bar->at(3, 108), 0xB5B9BC, 50)) << std::hex << bar->at(3, 108);
    EXPECT_FALSE(Testing::ColourNear(bar->at(3, 3), 0xB5B9BC, 10)) << "the track shows above the thumb";

    Settings::Set(Settings::ID::Locale, std::string("ru-RU"));
    Testing::PumpMessagesFor(100ms);
    EXPECT_EQ(observer.succeeded, 2);
    EXPECT_EQ(area->thumbTop(), 0.0f) << "a reloaded text starts at the top";
}

TEST_F(WidgetsTest, AnEmptyLicenceIsReportedAndShowsAnEmptyArea) {
    CountingObserver observer;
    auto area = ScrollArea::Create(34474, parent.hwnd(), factory.Get(), {12, 100, 658, 211}, observer,
                                   [] { return std::string(); });
    EXPECT_EQ(observer.failed, 1);
    EXPECT_FALSE(area->scrollable());
    auto text = Testing::CaptureClientAfterRepaint(area->textWindow());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->count(RECT{0, 0, 640, 111}, [](auto c) { return Testing::IsDark(c); }), 0);
}

TEST_F(WidgetsTest, TheLanguageListOpensBesideItsButtonAndClosesOnEscapeAnOutsideClickOrAChoice) {
    auto button = Button::Create(34479, parent.hwnd(), UiText::LanguageName, ButtonStyleId::LanguageDropDown,
                                 factory.Get(), {10, 300, 210, 330}, Button::Normal);
    ChangeLocalePopup popup(parent.hwnd(), button->window(), factory.Get());
    ASSERT_EQ(popup.locales().size(), 2u);
    popup.Show(button->window());
    Testing::PumpMessagesFor(200ms);
    ASSERT_TRUE(IsWindowVisible(popup.window()));
    const auto rows = Testing::ListDescendants(popup.window());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].controlId, 3393);
    EXPECT_EQ(rows[1].controlId, 3394);
    const RECT list = Testing::DescribeWindow(popup.window()).screenRect;
    const RECT anchor = Testing::DescribeWindow(button->window()).screenRect;
    EXPECT_EQ(list.left, anchor.left);
    EXPECT_EQ(list.right - list.left, anchor.right - anchor.left);
    EXPECT_EQ(list.bottom - list.top, 34);

    PostMessageW(popup.window(), WM_KEYDOWN, VK_ESCAPE, 0);
    Testing::PumpMessagesFor(100ms);
    EXPECT_FALSE(IsWindowVisible(popup.window()));

    popup.Show(button->window());
    Testing::PumpMessagesFor(100ms);
    ASSERT_TRUE(Testing::Click(parent.hwnd(), POINT{600, 450}));
    Testing::PumpMessagesUntil([&] { return !IsWindowVisible(popup.window()); }, 5s);
    EXPECT_FALSE(IsWindowVisible(popup.window())) << "a click outside hides the list";
    EXPECT_EQ(GetCurrentLocale(), "en-US");

    popup.Show(button->window());
    Testing::PumpMessagesFor(100ms);
    ASSERT_TRUE(Testing::ClickCenter(rows[1].hwnd));
    ASSERT_TRUE(Testing::PumpMessagesUntil([] { return GetCurrentLocale() == "ru-RU"; }, 5s));
    EXPECT_FALSE(IsWindowVisible(popup.window()));
}

TEST_F(WidgetsTest, MessagePopUpsLayOutTheirButtonsAndReportTheAnswer) {
    struct Case {
        PopupKind kind;
        std::vector<unsigned short> ids;
        std::vector<int> shown;
        int width;
    };
    const Case cases[] = {
        {PopupKind::Question, {34470, 34485, 34486}, {34485, 34486}, 350},
        {PopupKind::Information, {34470}, {34470}, 350},
        {PopupKind::Retry, {34470, 34488, 34487, 34489}, {34488, 34487, 34489}, 480},
        {PopupKind::Warning, {34488, 34490}, {34488, 34490}, 350},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("kind " + std::to_string(static_cast<int>(c.kind)));
        parent.clear();
        PopupMessage popup(c.kind, static_cast<UiText::Id>(24), parent.hwnd(), factory.Get(), 34482, c.ids, L"__NAME__");
        popup.Show();
        Testing::PumpMessagesFor(200ms);
        EXPECT_EQ(popup.popupWidth(), c.width);
        const RECT rect = Testing::DescribeWindow(popup.window()).screenRect;
        EXPECT_EQ(rect.right - rect.left, c.width);
        std::vector<int> ids;
        for (const auto& child : Testing::ListDescendants(popup.window())) ids.push_back(child.controlId);
        EXPECT_EQ(ids, c.shown);
        auto shot = Testing::CaptureClientAfterRepaint(popup.window());
        ASSERT_TRUE(shot);
        const std::uint32_t iconColour = (c.kind == PopupKind::Question || c.kind == PopupKind::Retry) ? 0x168FD3 : 0xF0A020;
        EXPECT_TRUE(Testing::ColourNear(shot->at(c.width / 2 - 10, 30), iconColour, 40)) << std::hex << shot->at(c.width / 2 - 10, 30);
        EXPECT_GT(shot->count(RECT{0, 55, c.width, 105}, [](auto px) { return Testing::IsDark(px); }), 20) << "text";

        HWND answer = Testing::FindDescendantById(popup.window(), c.shown.back());
        ASSERT_TRUE(Testing::ClickCenter(answer));
        ASSERT_TRUE(Testing::PumpMessagesUntil([&] { return !parent.receivedOf(kPopupResult).empty(); }, 5s));
        EXPECT_EQ(parent.receivedOf(kPopupResult)[0].wParam, (static_cast<WPARAM>(c.shown.back()) << 16) | 34482u);
    }
}

TEST_F(WidgetsTest, ClosingAPopUpReportsButtonZeroAndDestroysItsWindow) {
    auto popup = std::make_unique<PopupMessage>(PopupKind::Question, static_cast<UiText::Id>(1), parent.hwnd(), factory.Get(), 34481,
                                                std::vector<unsigned short>{34470, 34485, 34486});
    popup->Show();
    HWND window = popup->window();
    Testing::PostClose(window);
    ASSERT_TRUE(Testing::PumpMessagesUntil([&] { return !parent.receivedOf(kPopupResult).empty(); }, 5s));
    EXPECT_EQ(parent.receivedOf(kPopupResult)[0].wParam, static_cast<WPARAM>(34481));
    Testing::PumpMessagesFor(100ms);
    EXPECT_FALSE(IsWindow(window));
    popup.reset();
}

} // namespace
