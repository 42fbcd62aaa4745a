// A lost display device (EndDraw answering D2DERR_RECREATE_TARGET): every window makes its render target and what
// it draws with again, and looks as before. A target that could not be made is made on a later paint.
#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "splash/win/TextIds.h"
#include "splash/win/WinSplash.h"
#include "splash/win/gui_tests/LossyDirect2D.h"
#include "splash/win/gui_tests/RecordingSplashObserver.h"
#include "splash/win/gui_tests/TestImages.h"
#include "splash/win/gui_tests/WidgetTestSupport.h"
#include "splash/win/widgets/Button.h"
#include "splash/win/widgets/ButtonStyles.h"
#include "splash/win/widgets/Popups.h"
#include "splash/win/widgets/ProgressBars.h"
#include "splash/win/widgets/ScrollArea.h"
#include "testing/LogCapture.h"
#include "testing/WindowProbe.h"
#include "utils/Settings.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;
using namespace WidgetTesting;

// Share of the pixels of two captures of one window that differ by more than a little.
double Changed(const Testing::Capture& before, const Testing::Capture& after) {
    if (before.width != after.width || before.height != after.height) return 1.0;
    size_t changed = 0;
    for (size_t i = 0; i < before.pixels.size(); ++i)
        if (!Testing::ColourNear(before.pixels[i], after.pixels[i], 8)) ++changed;
    return before.pixels.empty() ? 1.0 : static_cast<double>(changed) / static_cast<double>(before.pixels.size());
}

struct Shot {
    HWND window;
    Testing::Capture before;
};

TEST(DeviceLoss, EveryWidgetMakesItsTargetAndResourcesAgainAndLooksAsBefore) {
    Settings::Set(Settings::ID::Locale, std::string("en-US"));
    SetCursorPos(1900, 1060);  // no hover look
    Testing::LogCapture log;
    TestParent parent(700, 560);
    auto factory = LossyFactory::Create();
    ASSERT_TRUE(factory);
    Testing::RecordingSplashObserver observer;
    ImageLoader images;
    const SharedBitmap background = images.Load("background", SplashTest::SolidPng(1340, 712, SplashTest::kStartColour));
    ASSERT_TRUE(background);

    auto install = Button::Create(34469, parent.hwnd(), UiText::Install, ButtonStyleId::MainAction, factory.Get(),
                                  {116, 246, 324, 296}, Button::Normal);
    install->setBackground(background);
    auto settings = Button::Create(34476, parent.hwnd(), UiText::InstallationSettings, ButtonStyleId::SettingsToggle,
                                   factory.Get(), {403, 373, 650, 403}, Button::Normal);
    settings->setBackground(background);
    auto bar = ProgressBar::Create(34477, {0, 420, 670, 484}, factory.Get(), parent.hwnd());
    bar->SetValue(40);
    auto area = ScrollArea::Create(34474, parent.hwnd(), factory.Get(), {12, 120, 658, 231}, observer,
                                   [] { return std::string("A licence text\nof two lines."); });
    PopupMessage popup(PopupKind::Retry, static_cast<UiText::Id>(26), parent.hwnd(), factory.Get(), 3, {34487, 34488, 34489, 34490}, L"");
    popup.Show();
    const int targets = factory->targetsMade();
    ASSERT_EQ(targets, 9) << "two buttons, the bar, the text and its scroll bar, the pop-up and its three buttons";

    std::vector<Shot> shots;
    for (HWND window : {install->window(), settings->window(), bar->window(), area->textWindow(), popup.window()}) {
        auto capture = Testing::CaptureClientAfterRepaint(window);
        ASSERT_TRUE(capture);
        shots.push_back({window, *capture});
    }

    factory->LoseDevice();
    for (const Shot& shot : shots) RedrawWindow(shot.window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RedrawWindow(area->barWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    // Each loss asks for another paint, which makes the target again.
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return factory->targetsMade() >= 2 * targets; }, 10s))
        << factory->targetsMade();
    EXPECT_EQ(factory->lossesReported(), targets);
    EXPECT_TRUE(log.contains("display device was lost", google::GLOG_WARNING));

    for (const Shot& shot : shots) {
        auto after = Testing::CaptureClientAfterRepaint(shot.window);
        ASSERT_TRUE(after);
        EXPECT_LT(Changed(shot.before, *after), 0.01) << "window " << shot.window << " looks different";
    }
    EXPECT_EQ(factory->targetsMade(), 2 * targets) << "one new target per window, no more";
}

// Lines of one severity that contain `part`.
size_t LinesWith(const Testing::LogCapture& log, const std::string& part, google::LogSeverity severity) {
    const auto lines = log.lines(severity);
    return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(part) != std::string::npos;
    }));
}

// A dark pop-up button without a text is flat and has no border: its whole face is the background under it.
std::unique_ptr<Button> FaceButton(HWND parent, ID2D1Factory* factory) {
    return Button::Create(34487, parent, UiText::None, ButtonStyleId::DarkPopupButton, factory, {100, 100, 220, 130},
                          Button::Normal);
}

TEST(DeviceLoss, AButtonGivenANewBackgroundWhileItsTargetIsLostDrawsTheNewOne) {
    SetCursorPos(1900, 1060);
    TestParent parent(700, 560);
    auto factory = LossyFactory::Create();
    ASSERT_TRUE(factory);
    ImageLoader images;
    const SharedBitmap first = images.Load("first", SplashTest::SolidPng(1340, 712, SplashTest::kStartColour));
    const SharedBitmap second = images.Load("second", SplashTest::SolidPng(1340, 712, SplashTest::kWaitColour));
    ASSERT_TRUE(first && second);
    auto button = FaceButton(parent.hwnd(), factory.Get());
    button->setBackground(first);
    const auto before = Testing::CaptureClientAfterRepaint(button->window());
    ASSERT_TRUE(before);
    EXPECT_TRUE(Testing::ColourNear(before->at(60, 15), SplashTest::kStartColour)) << std::hex << before->at(60, 15);

    factory->LoseDevice();
    RedrawWindow(button->window(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_EQ(button->renderTarget(), nullptr) << "the loss is seen and the target released until the next paint";
    button->setBackground(second);
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return button->renderTarget() != nullptr; }, 10s));

    const auto after = Testing::CaptureClientAfterRepaint(button->window());
    ASSERT_TRUE(after);
    EXPECT_TRUE(Testing::ColourNear(after->at(60, 15), SplashTest::kWaitColour)) << std::hex << after->at(60, 15);
    EXPECT_EQ(factory->lossesReported(), 1);
}

TEST(DeviceLoss, AWidgetWhoseTargetCouldNotBeMadeDrawsOnceOneCanBe) {
    SetCursorPos(1900, 1060);
    Settings::Set(Settings::ID::Locale, std::string("en-US"));
    Testing::LogCapture log;
    TestParent parent(700, 560);
    auto factory = LossyFactory::Create();
    ASSERT_TRUE(factory);
    ImageLoader images;
    const SharedBitmap background =
        images.Load("background", SplashTest::SolidPng(1340, 712, SplashTest::kStartColour));
    ASSERT_TRUE(background);

    // Made without a target, painted twice without one, then drawn.
    factory->RefuseTargets(3);
    auto button = FaceButton(parent.hwnd(), factory.Get());
    button->setBackground(background);
    EXPECT_EQ(button->renderTarget(), nullptr);
    for (int paint = 0; paint < 2; ++paint)
        RedrawWindow(button->window(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_EQ(factory->targetsRefused(), 3);
    const auto face = Testing::CaptureClientAfterRepaint(button->window());
    ASSERT_TRUE(face);
    EXPECT_TRUE(Testing::ColourNear(face->at(60, 15), SplashTest::kStartColour)) << std::hex << face->at(60, 15);
    EXPECT_EQ(LinesWith(log, "CreateDCRenderTarget failed", google::GLOG_ERROR), 1u) << "only the first of a row";
    EXPECT_EQ(LinesWith(log, "Render target made at try 4", google::GLOG_INFO), 1u);

    // A static widget: the progress bar repaints only when asked.
    factory->RefuseTargets(1);
    auto bar = ProgressBar::Create(34477, {0, 300, 600, 364}, factory.Get(), parent.hwnd());
    EXPECT_EQ(bar->renderTarget(), nullptr);
    bar->SetValue(50);
    const auto shot = Testing::CaptureClientAfterRepaint(bar->window());
    ASSERT_TRUE(shot);
    EXPECT_TRUE(Testing::ColourNear(shot->at(3, 5), 0x168FD3)) << "filled: " << std::hex << shot->at(3, 5);
    EXPECT_TRUE(Testing::ColourNear(shot->at(590, 5), 0xDDE2E5)) << "track: " << std::hex << shot->at(590, 5);
    int dark = 0;
    for (int y = 14; y < shot->height; ++y)
        for (int x = 0; x < shot->width; ++x) dark += Testing::IsDark(shot->at(x, y)) ? 1 : 0;
    EXPECT_GT(dark, 50) << "the label under the bar is drawn with the bar's new target";
    EXPECT_EQ(factory->targetsMade(), 2);
}

TEST(DeviceLoss, TheSplashWindowDrawsItsScreenAgainAfterALostDevice) {
    SetCursorPos(1900, 1060);
    auto factory = LossyFactory::Create();
    ASSERT_TRUE(factory);
    Testing::RecordingSplashObserver observer;
    WinSplash splash(observer, factory.Get());
    splash.SetSplashImage(SplashTest::SolidPng(1340, 712, SplashTest::kStartColour));
    splash.SetScreen(SplashScreen::Start);
    HWND main = Testing::WaitForTopWindow(L"Nolvaria Installer", L"", 60s, GetCurrentProcessId());
    ASSERT_TRUE(main);
    const auto before = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(before);
    const int targets = factory->targetsMade();

    factory->LoseDevice();
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (factory->targetsMade() < 2 * targets && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(factory->targetsMade(), 2 * targets) << "the window's and each button's target made again";

    const auto after = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(after);
    EXPECT_LT(Changed(*before, *after), 0.01);
    EXPECT_TRUE(Testing::ColourNear(after->at(600, 300), SplashTest::kStartColour)) << std::hex << after->at(600, 300);
    splash.Close();
}

} // namespace
