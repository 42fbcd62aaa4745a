// Buttons on a real parent window: the style table, drawing per state, clicks, toggles and disabled clicks as the
// parent sees them, and a parent that destroys the button while it reports.
#include "splash/win/widgets/Button.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

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

// Exactly the colour 0xRRGGBB, alpha 1.
void ExpectColour(const D2D1_COLOR_F& c, std::uint32_t rgb, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_FLOAT_EQ(c.r, ((rgb >> 16) & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(c.g, ((rgb >> 8) & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(c.b, (rgb & 0xFF) / 255.0f);
    EXPECT_FLOAT_EQ(c.a, 1.0f);
}

TEST(ButtonStylesTest, TheTableHoldsElevenStylesWithTheirLooks) {
    // A layer's alignments (0 start, 1 centre, 2 end), offsets and whether it sits beside the text.
    struct Placement {
        int hAlign, vAlign;
        float offsetX, offsetY;
        int textRelative;
    };
    struct StyleRow {
        int id, drawKind;
        std::vector<Placement> layers;
        bool checkedLikeUnchecked;  // else the checked look is the default look with its own images
    };
    const StyleRow styleRows[] = {
        {3, 0, {{0, 0, 0, 0, 0}}, false},
        {2, 0, {{0, 0, 0, 0, 0}}, false},
        {8, 0, {}, false},
        {4, 0, {}, false},
        {1, 0, {}, false},
        {6, 0, {{0, 0, 0, 0, 0}}, false},
        {5, 0, {{2, 1, -45, 0, 1}}, true},
        {10, 1, {{2, 1, -70, 0, 1}}, false},
        {0, 1, {{2, 1, -12, 0, 0}}, false},
        {7, 1, {{2, 1, 0, 0, 0}}, false},
        {9, 0, {{0, 1, 16, 0, 1}, {2, 1, 0, 0, 0}}, true},
    };
    const auto& styles = ButtonStyles();
    ASSERT_EQ(styles.size(), std::size(styleRows));
    for (std::size_t i = 0; i < styles.size(); ++i) {
        const StyleRow& row = styleRows[i];
        SCOPED_TRACE("style " + std::to_string(row.id));
        EXPECT_EQ(styles[i].styleId, row.id) << "stored in this order";
        EXPECT_EQ(FindButtonStyle(ButtonStyleId::Id{row.id}), &styles[i]);
        EXPECT_EQ(styles[i].drawKind, row.drawKind);
        ASSERT_EQ(styles[i].layers.size(), row.layers.size());
        for (std::size_t l = 0; l < row.layers.size(); ++l) {
            const LayerPlacement& got = styles[i].layers[l];
            const Placement& want = row.layers[l];
            EXPECT_EQ(got.hAlign, want.hAlign) << "layer " << l;
            EXPECT_EQ(got.vAlign, want.vAlign) << "layer " << l;
            EXPECT_FLOAT_EQ(got.offsetX, want.offsetX) << "layer " << l;
            EXPECT_FLOAT_EQ(got.offsetY, want.offsetY) << "layer " << l;
            EXPECT_EQ(got.textRelative, want.textRelative) << "layer " << l;
        }
        ASSERT_EQ(styles[i].states.size(), 4u);
    }
    EXPECT_EQ(FindButtonStyle(ButtonStyleId::Id{11}), nullptr);
    EXPECT_EQ(FindButtonStyle(ButtonStyleId::Id{-1}), nullptr);

    // Every style and state: the unchecked look, and the images of the checked look.
    struct LookRow {
        int style, state;
        bool border;
        int alignment;
        float size, offsetX, offsetY;
        std::uint32_t text, fill, borderColour;
        std::vector<std::int64_t> images, checkedImages;
    };
    constexpr std::uint32_t K = 0x000000, W = 0xFFFFFF;
    const LookRow rows[] = {
        {0, 0, false, 0, 12, 6, 0, K, 0xE6E8EB, K, {31}, {}},
        {0, 1, true, 0, 12, 6, 0, K, 0xE6E8EB, 0x585D70, {32}, {}},
        {0, 2, true, 0, 12, 6, 0, K, 0xE6E8EB, 0x1F222C, {32}, {}},
        {0, 3, false, 0, 12, 6, 0, K, 0xC8C8C8, K, {31}, {}},
        {1, 0, false, 0, 12, 6, 0, K, W, K, {}, {}},
        {1, 1, true, 0, 12, 6, 0, K, 0xF0F0F0, K, {}, {}},
        {1, 2, true, 0, 12, 6, 0, K, 0xD4D4D4, K, {}, {}},
        {1, 3, true, 0, 12, 6, 0, K, W, K, {}, {}},
        {2, 0, false, 2, 12, 0, 0, K, W, W, {13}, {16}},
        {2, 1, false, 2, 12, 0, 0, K, W, W, {14}, {17}},
        {2, 2, false, 2, 12, 0, 0, K, W, W, {15}, {18}},
        {2, 3, false, 2, 12, 0, 0, K, W, W, {14}, {17}},
        {3, 0, false, 2, 12, 0, 0, K, W, W, {3}, {}},
        {3, 1, false, 2, 12, 0, 0, K, W, W, {4}, {}},
        {3, 2, false, 2, 12, 0, 0, K, W, W, {5}, {}},
        {3, 3, false, 2, 12, 0, 0, K, W, W, {4}, {}},
        {4, 0, false, 2, 12, 0, 0, W, K, K, {}, {}},
        {4, 1, false, 2, 12, 0, 0, W, 0x011F2D, K, {}, {}},
        {4, 2, false, 2, 12, 0, 0, W, 0x27404C, K, {}, {}},
        {4, 3, false, 2, 12, 0, 0, W, K, K, {}, {}},
        {5, 0, false, 0, 10, 0, 0, 0x405CEF, W, K, {}, {}},
        {5, 1, false, 0, 10, 0, 0, 0x6479E3, W, K, {}, {}},
        {5, 2, false, 0, 10, 0, 0, 0x6479E3, W, K, {}, {}},
        {5, 3, false, 0, 10, 0, 0, 0x525252, W, K, {}, {}},
        {6, 0, false, 2, 12, 0, 0, K, W, W, {33}, {}},
        {6, 1, false, 2, 12, 0, 0, K, W, W, {34}, {}},
        {6, 2, false, 2, 12, 0, 0, K, W, W, {35}, {}},
        {6, 3, false, 2, 12, 0, 0, K, W, W, {36}, {}},
        {7, 0, false, 0, 12, 0, 0, K, 0xE6E8EB, K, {22}, {}},
        {7, 1, true, 0, 12, 0, 0, K, 0xE6E8EB, 0x585D70, {23}, {}},
        {7, 2, true, 0, 12, 0, 0, K, 0xE6E8EB, 0x585D70, {24}, {}},
        {7, 3, false, 0, 12, 0, 0, K, 0xC8C8C8, K, {23}, {}},
        {8, 0, true, 2, 12, 0, 0, K, W, K, {}, {}},
        {8, 1, true, 2, 12, 0, 0, K, 0xF0F0F0, K, {}, {}},
        {8, 2, true, 2, 12, 0, 0, K, 0xD4D4D4, K, {}, {}},
        {8, 3, true, 2, 12, 0, 0, K, W, K, {}, {}},
        {9, 0, false, 1, 12, -45, 0, 0x1F222C, W, K, {19, 31}, {19, 29}},
        {9, 1, false, 1, 12, -45, 0, 0x606C7D, W, K, {20, 32}, {20, 30}},
        {9, 2, false, 1, 12, -45, 0, 0x9CA1A8, W, K, {21, 32}, {21, 30}},
        {9, 3, false, 1, 12, -45, 0, 0xF0F0F0, 0xC8C8C8, K, {20, 31}, {20, 29}},
        {10, 0, false, 2, 18, 0, 0, W, K, K, {25}, {}},
        {10, 1, false, 2, 18, 0, 0, W, 0x525252, K, {26}, {}},
        {10, 2, false, 2, 18, 0, 0, W, 0x525252, K, {27}, {}},
        {10, 3, false, 2, 18, 0, 0, 0x525252, K, K, {28}, {}},
    };
    ASSERT_EQ(std::size(rows), 44u);
    for (const auto& row : rows) {
        SCOPED_TRACE("style " + std::to_string(row.style) + " state " + std::to_string(row.state));
        const ButtonStyle* style = FindButtonStyle(ButtonStyleId::Id{row.style});
        ASSERT_NE(style, nullptr);
        const StateLook& state = style->states.at(row.state);
        EXPECT_EQ(state.state, row.state);
        const bool checkedLikeUnchecked =
            std::find_if(std::begin(styleRows), std::end(styleRows), [&](const StyleRow& s) {
                return s.id == row.style;
            })->checkedLikeUnchecked;
        // The unchecked look, then the checked one: like the unchecked look or the default, with its own images.
        for (const bool checked : {false, true}) {
            SCOPED_TRACE(checked ? "checked" : "unchecked");
            const ButtonLook& look = checked ? state.checked : state.unchecked;
            const bool asRow = !checked || checkedLikeUnchecked;
            EXPECT_EQ(look.border, asRow && row.border);
            EXPECT_EQ(look.font.alignment, asRow ? row.alignment : 2);
            EXPECT_FLOAT_EQ(look.font.size, asRow ? row.size : 12);
            EXPECT_FLOAT_EQ(look.font.offsetX, asRow ? row.offsetX : 0);
            EXPECT_FLOAT_EQ(look.font.offsetY, asRow ? row.offsetY : 0);
            EXPECT_EQ(look.font.weight, 400);
            EXPECT_EQ(look.font.style, 0);
            EXPECT_EQ(look.font.family, L"Verdana");
            ExpectColour(look.textColour, asRow ? row.text : K, "text");
            ExpectColour(look.fillColour, asRow ? row.fill : W, "fill");
            ExpectColour(look.borderColour, asRow ? row.borderColour : W, "border");
            EXPECT_EQ(look.images, checked ? row.checkedImages : row.images);
        }
    }
}

class ButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::Set(Settings::ID::Locale, std::string("en-US"));
        SetCursorPos(1900, 1060);  // the pointer away from where buttons appear
        Testing::PumpMessagesFor(50ms);
    }
    std::unique_ptr<Button> make(ButtonStyleId::Id style, WidgetRect rect, Button::State state = Button::Normal,
                                 UiText::Id textId = UiText::Install) {
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
    auto button = make(ButtonStyleId::MainAction, {20, 20, 228, 70});
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
    auto bordered = make(ButtonStyleId::LightPopupButton, {20, 20, 140, 50}, Button::Normal, UiText::Yes);
    auto capture8 = capture(*bordered);
    ASSERT_TRUE(capture8);
    // A 1-DIP stroke on the edge: at least half covers the outer pixel column.
    EXPECT_TRUE(Testing::IsDark(capture8->at(0, 15), 160)) << std::hex << capture8->at(0, 15);
    EXPECT_TRUE(Testing::ColourNear(capture8->at(3, 15), 0xFFFFFF));
    bordered.reset();

    auto plain = make(ButtonStyleId::LocaleRow, {20, 20, 140, 50}, Button::Normal, UiText::Yes);
    auto capture1 = capture(*plain);
    ASSERT_TRUE(capture1);
    EXPECT_TRUE(Testing::ColourNear(capture1->at(0, 15), 0xFFFFFF)) << std::hex << capture1->at(0, 15);
    // Some dark text pixels on the left (leading alignment).
    EXPECT_GT(capture1->count(RECT{0, 0, 60, 30}, [](auto c) { return Testing::IsDark(c); }), 5);
}

TEST_F(ButtonTest, ADisabledButtonReportsDisabledClicksAndStaysDisabled) {
    auto button = make(ButtonStyleId::MainAction, {20, 20, 228, 70}, Button::Disabled);
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
    auto button = make(ButtonStyleId::SettingsToggle, {20, 20, 267, 50}, Button::Normal, UiText::InstallationSettings);
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
    auto button = make(ButtonStyleId::LightPopupButton, {20, 20, 140, 50}, Button::Normal, UiText::Yes);
    PostMessageW(button->window(), WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return parent.receivedOf(kClicked).size() == 1; }, 5s));
}

TEST_F(ButtonTest, TheParentMayDestroyTheButtonWhileItReports) {
    auto button = make(ButtonStyleId::LightPopupButton, {20, 20, 140, 50}, Button::Normal, UiText::Yes);
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
    auto first = make(ButtonStyleId::LightPopupButton, {20, 20, 140, 50});
    auto second = make(ButtonStyleId::LightPopupButton, {150, 20, 270, 50});
    wchar_t a[64] = {};
    wchar_t b[64] = {};
    GetClassNameW(first->window(), a, 64);
    GetClassNameW(second->window(), b, 64);
    EXPECT_NE(std::wstring(a), std::wstring(b));
    EXPECT_EQ(std::wstring(a).rfind(L"button_", 0), 0u);
    EXPECT_THROW(Button::Create(1, parent.hwnd(), UiText::None, ButtonStyleId::Id{42}, factory.Get(), {0, 0, 10, 10},
                                Button::Normal),
                 std::runtime_error);
}

} // namespace
