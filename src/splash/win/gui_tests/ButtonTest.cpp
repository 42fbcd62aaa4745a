// Buttons on a real parent window: the style table, drawing per state, clicks, toggles and disabled clicks as the
// parent sees them, and a parent that destroys the button while it reports.
#include "splash/win/widgets/Button.h"

#include <gtest/gtest.h>

#include "splash/win/SplashMessage.h"
#include "splash/win/gui_tests/WidgetTestSupport.h"
#include "splash/win/widgets/ButtonStyles.h"
#include "testing/WindowProbe.h"
#include "utils/Settings.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;
using namespace WidgetTesting;

constexpr int kId = 34469;
const UINT kClicked = ToMessage(SplashMessage::ButtonClicked);
const UINT kDisabledClicked = ToMessage(SplashMessage::DisabledButtonClicked);
const UINT kToggled = ToMessage(SplashMessage::ToggleChanged);

std::uint32_t Packed(const D2D1_COLOR_F& c) {
    return (static_cast<std::uint32_t>(c.r * 255 + 0.5f) << 16) | (static_cast<std::uint32_t>(c.g * 255 + 0.5f) << 8) |
           static_cast<std::uint32_t>(c.b * 255 + 0.5f);
}

TEST(ButtonStylesTest, TheTableHoldsElevenStylesWithTheirLooks) {
    std::vector<int> order;
    for (const auto& style : ButtonStyles()) order.push_back(style.styleId);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 8, 4, 1, 6, 5, 10, 0, 7, 9}));
    EXPECT_EQ(FindButtonStyle(11), nullptr);

    struct Row {
        int style, state;
        bool border;
        int alignment;
        float size;
        std::uint32_t text, fill, borderColour;
    };
    const Row rows[] = {
        {0, 1, true, 0, 12, 0x000000, 0xE6E8EB, 0x585D70}, {0, 3, false, 0, 12, 0x000000, 0xC8C8C8, 0x000000},
        {1, 0, false, 0, 12, 0x000000, 0xFFFFFF, 0x000000}, {1, 2, true, 0, 12, 0x000000, 0xD4D4D4, 0x000000},
        {2, 0, false, 2, 12, 0x000000, 0xFFFFFF, 0xFFFFFF}, {4, 1, false, 2, 12, 0xFFFFFF, 0x011F2D, 0x000000},
        {5, 0, false, 0, 10, 0x405CEF, 0xFFFFFF, 0x000000}, {7, 2, true, 0, 12, 0x000000, 0xE6E8EB, 0x585D70},
        {8, 0, true, 2, 12, 0x000000, 0xFFFFFF, 0x000000},  {9, 3, false, 1, 12, 0xF0F0F0, 0xC8C8C8, 0x000000},
        {10, 0, false, 2, 18, 0xFFFFFF, 0x000000, 0x000000}, {10, 3, false, 2, 18, 0x525252, 0x000000, 0x000000},
    };
    for (const auto& row : rows) {
        const ButtonStyle* style = FindButtonStyle(row.style);
        ASSERT_NE(style, nullptr);
        const ButtonLook& look = style->states.at(row.state).unchecked;
        SCOPED_TRACE("style " + std::to_string(row.style) + " state " + std::to_string(row.state));
        EXPECT_EQ(look.border, row.border);
        EXPECT_EQ(look.font.alignment, row.alignment);
        EXPECT_FLOAT_EQ(look.font.size, row.size);
        EXPECT_EQ(Packed(look.textColour), row.text);
        EXPECT_EQ(Packed(look.fillColour), row.fill);
        EXPECT_EQ(Packed(look.borderColour), row.borderColour);
        EXPECT_EQ(look.font.family, L"Verdana");
    }
    EXPECT_EQ(FindButtonStyle(10)->drawKind, 1);
    EXPECT_EQ(FindButtonStyle(8)->drawKind, 0);
    const ButtonStyle* toggle = FindButtonStyle(9);
    EXPECT_EQ(toggle->states[0].unchecked.images, (std::vector<std::int64_t>{19, 31}));
    EXPECT_EQ(toggle->states[0].checked.images, (std::vector<std::int64_t>{19, 29}));
    EXPECT_FLOAT_EQ(toggle->states[0].checked.font.offsetX, -45);
    EXPECT_EQ(FindButtonStyle(3)->states[2].unchecked.images, (std::vector<std::int64_t>{5}));
}

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::Set(Settings::ID::Locale, std::string("en-US"));
        SetCursorPos(1900, 1060);  // the pointer away from where buttons appear
        Testing::PumpMessagesFor(50ms);
    }
    std::unique_ptr<Button> make(int style, WidgetRect rect, int state = Button::Normal, int textId = 7) {
        auto button = Button::Create(kId, parent.hwnd(), textId, style, factory.Get(), rect, state);
        Testing::PumpMessagesFor(100ms);
        return button;
    }
    std::optional<Testing::Capture> capture(const Button& button) {
        return Testing::CaptureClientAfterRepaint(button.window());
    }

    TestParent parent;
    Microsoft::WRL::ComPtr<ID2D1Factory> factory = CreateFactory();
};

TEST_F(ButtonTest, AClickReportsToTheParentAndHoverAndPressChangeTheColours) {
    auto button = make(10, {20, 20, 228, 70});
    const RECT rect = Testing::DescribeWindow(button->window()).clientScreenRect;
    EXPECT_EQ(rect.right - rect.left, 208);
    EXPECT_EQ(rect.bottom - rect.top, 50);
    EXPECT_EQ(GetDlgCtrlID(button->window()), kId);

    auto normal = capture(*button);
    ASSERT_TRUE(normal);
    EXPECT_TRUE(Testing::ColourNear(normal->at(1, 1), 0xFFFFFF)) << "the pill's corner shows white";
    EXPECT_TRUE(Testing::ColourNear(normal->at(40, 25), 0x000000)) << std::hex << normal->at(40, 25);
    // White text and the white arrow on black.
    EXPECT_GT(normal->count(RECT{30, 5, 200, 45}, [](auto c) { return Testing::ColourNear(c, 0xFFFFFF, 60); }), 30);

    ASSERT_TRUE(Testing::Hover(button->window(), POINT{40, 25}));
    Testing::PumpMessagesUntil([&] { return button->state() == Button::Hover; }, 5s);
    EXPECT_EQ(button->state(), Button::Hover);
    auto hover = capture(*button);
    ASSERT_TRUE(hover);
    EXPECT_TRUE(Testing::ColourNear(hover->at(40, 25), 0x525252)) << std::hex << hover->at(40, 25);

    ASSERT_TRUE(Testing::Click(button->window(), POINT{40, 25}));
    ASSERT_TRUE(Testing::PumpMessagesUntil([&] { return !parent.receivedOf(kClicked).empty(); }, 5s));
    const auto clicks = parent.receivedOf(kClicked);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].wParam, static_cast<WPARAM>(kId));
    EXPECT_EQ(clicks[0].lParam, 0);
    EXPECT_EQ(button->state(), Button::Hover);
}

TEST_F(ButtonTest, AFlatButtonDrawsItsBorderOnlyWhereTheLookHasOne) {
    auto bordered = make(8, {20, 20, 140, 50}, Button::Normal, 36);
    auto capture8 = capture(*bordered);
    ASSERT_TRUE(capture8);
    // A 1-DIP stroke on the edge: at least half covers the outer pixel column.
    EXPECT_TRUE(Testing::IsDark(capture8->at(0, 15), 160)) << std::hex << capture8->at(0, 15);
    EXPECT_TRUE(Testing::ColourNear(capture8->at(3, 15), 0xFFFFFF));
    bordered.reset();

    auto plain = make(1, {20, 20, 140, 50}, Button::Normal, 36);
    auto capture1 = capture(*plain);
    ASSERT_TRUE(capture1);
    EXPECT_TRUE(Testing::ColourNear(capture1->at(0, 15), 0xFFFFFF)) << std::hex << capture1->at(0, 15);
    // Some dark text pixels on the left (leading alignment).
    EXPECT_GT(capture1->count(RECT{0, 0, 60, 30}, [](auto c) { return Testing::IsDark(c); }), 5);
}

TEST_F(ButtonTest, ADisabledButtonReportsDisabledClicksAndStaysDisabled) {
    auto button = make(10, {20, 20, 228, 70}, Button::Disabled);
    ASSERT_TRUE(Testing::Click(button->window(), POINT{40, 25}));
    ASSERT_TRUE(Testing::PumpMessagesUntil([&] { return !parent.receivedOf(kDisabledClicked).empty(); }, 5s));
    EXPECT_TRUE(parent.receivedOf(kClicked).empty());
    EXPECT_EQ(parent.receivedOf(kDisabledClicked)[0].wParam, static_cast<WPARAM>(kId));
    EXPECT_EQ(button->state(), Button::Disabled);

    button->SetState(Button::Normal);
    ASSERT_TRUE(Testing::Click(button->window(), POINT{40, 25}));
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return !parent.receivedOf(kClicked).empty(); }, 5s));
}

TEST_F(ButtonTest, AToggleReportsItsNewCheckedStateOnEachPress) {
    auto button = make(9, {20, 20, 267, 50}, Button::Normal, 21);
    button->SetToggle(true);
    ASSERT_TRUE(Testing::Click(button->window(), POINT{100, 15}));
    ASSERT_TRUE(Testing::PumpMessagesUntil([&] { return parent.receivedOf(kToggled).size() == 1; }, 5s));
    EXPECT_EQ(parent.receivedOf(kToggled)[0].wParam, static_cast<WPARAM>(kId | (1 << 16)));
    EXPECT_TRUE(button->checked());
    ASSERT_TRUE(Testing::Click(button->window(), POINT{100, 15}));
    ASSERT_TRUE(Testing::PumpMessagesUntil([&] { return parent.receivedOf(kToggled).size() == 2; }, 5s));
    EXPECT_EQ(parent.receivedOf(kToggled)[1].wParam, static_cast<WPARAM>(kId));
    EXPECT_FALSE(button->checked());
    EXPECT_EQ(parent.receivedOf(kClicked).size(), 2u);
}

TEST_F(ButtonTest, AReleaseWithoutAPressStillClicks) {
    auto button = make(8, {20, 20, 140, 50}, Button::Normal, 36);
    PostMessageW(button->window(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return parent.receivedOf(kClicked).size() == 1; }, 5s));
}

TEST_F(ButtonTest, TheParentMayDestroyTheButtonWhileItReports) {
    auto button = make(8, {20, 20, 140, 50}, Button::Normal, 36);
    button->SetToggle(true);
    HWND window = button->window();
    parent.onMessage([&](const SentMessage&) { button.reset(); });
    ASSERT_TRUE(Testing::Click(window, POINT{10, 10}, Testing::InputMode::Posted));
    Testing::PumpMessagesFor(300ms);
    EXPECT_FALSE(button);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(parent.receivedOf(kToggled).size(), 1u);
}

TEST_F(ButtonTest, ButtonsOfOneClassNameEachAndAStyleOutsideTheTableFails) {
    auto first = make(8, {20, 20, 140, 50});
    auto second = make(8, {150, 20, 270, 50});
    wchar_t a[64] = {};
    wchar_t b[64] = {};
    GetClassNameW(first->window(), a, 64);
    GetClassNameW(second->window(), b, 64);
    EXPECT_NE(std::wstring(a), std::wstring(b));
    EXPECT_EQ(std::wstring(a).rfind(L"button_", 0), 0u);
    EXPECT_THROW(Button::Create(1, parent.hwnd(), 0, 42, factory.Get(), {0, 0, 10, 10}, 0), std::runtime_error);
}

} // namespace
