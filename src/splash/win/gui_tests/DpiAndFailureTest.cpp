// DPI: widgets made at 144 DPI (a registry setting of the prefix, read by a child process) and the fallback
// without the newer calls. Failures: a widget without a render target still works, and an exception in a window
// procedure is caught and reported.
#include <gtest/gtest.h>

#include "QorPointer/UniqueHandle.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/gui_tests/WidgetTestSupport.h"
#include "splash/win/widgets/Button.h"
#include "splash/win/widgets/ProgressBars.h"
#include "splash/win/widgets/WidgetDrawing.h"
#include "testing/ChildProcess.h"
#include "testing/LogCapture.h"
#include "testing/WindowProbe.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;
using namespace WidgetTesting;

// Runs only as the child of DpiTest: the prefix is at 144 DPI then.
TEST(DpiChild, DISABLED_WidgetsAreScaledToTheWindowsDpi) {
    TestParent parent;
    HighDpiAwareness().update(parent.hwnd());
    ASSERT_EQ(HighDpiAwareness().dpi(), 144u);
    HWND child = CreateChildWindow(parent.hwnd(), L"dpiProbe", {10, 20, 110, 50}, nullptr, DefWindowProcW,
                                   WS_CHILD | WS_VISIBLE, 0);
    const RECT parentClient = Testing::DescribeWindow(parent.hwnd()).clientScreenRect;
    const RECT rect = Testing::DescribeWindow(child).screenRect;
    EXPECT_EQ(rect.left - parentClient.left, 15);
    EXPECT_EQ(rect.top - parentClient.top, 30);
    EXPECT_EQ(rect.right - rect.left, 150);
    EXPECT_EQ(rect.bottom - rect.top, 45);

    auto factory = CreateFactory();
    auto bar = ProgressBar::Create(34477, {0, 100, 400, 164}, factory.Get(), parent.hwnd());
    bar->SetValue(50);
    auto shot = Testing::CaptureClientAfterRepaint(bar->window());
    ASSERT_TRUE(shot);
    EXPECT_EQ(shot->width, 600);
    // The 12-DIP track is 18 pixels high at 144 DPI.
    EXPECT_TRUE(Testing::ColourNear(shot->at(100, 16), 0x168FD3)) << std::hex << shot->at(100, 16);
    EXPECT_TRUE(Testing::ColourNear(shot->at(500, 16), 0xDDE2E5)) << std::hex << shot->at(500, 16);
}

TEST(DpiTest, At96DpiWidgetsKeepTheirSizesAndAt144TheyGrowByHalf) {
    TestParent parent;
    HighDpiAwareness().update(parent.hwnd());
    EXPECT_EQ(HighDpiAwareness().dpi(), 96u);
    HWND child = CreateChildWindow(parent.hwnd(), L"dpiProbe", {10, 20, 110, 50}, nullptr, DefWindowProcW,
                                   WS_CHILD | WS_VISIBLE, 0);
    const RECT rect = Testing::DescribeWindow(child).screenRect;
    EXPECT_EQ(rect.right - rect.left, 100);
    EXPECT_EQ(rect.bottom - rect.top, 30);
    DestroyWindow(child);

    PrefixDpi dpi(144);
    Testing::ChildProcess at144(Testing::SelfPath(),
                                {L"--gtest_also_run_disabled_tests", L"--gtest_filter=DpiChild.*"});
    EXPECT_EQ(at144.wait(120s), 0);
}

TEST(DpiTest, WithoutTheNewerCallsTheDpiComesFromTheDeviceContext) {
    TestParent parent;
    HighDpiAwarenessHelper old(false);
    old.update(parent.hwnd());
    EXPECT_EQ(old.dpi(), 96u);
    EXPECT_EQ(old.metric(SM_CXSCREEN), GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(ScaleForDpi(100, 144), 150);
    EXPECT_EQ(ScaleForDpi(30'000'000, 144), 45'000'000) << "computed in 64 bits";
}

TEST(WidgetFailureTest, AWidgetWithoutARenderTargetIsLoggedAndStillClicks) {
    Testing::LogCapture log;
    TestParent parent;
    auto button = Button::Create(34469, parent.hwnd(), UiText::Install, ButtonStyleId::MainAction, nullptr,
                                 {20, 20, 228, 70}, Button::Normal);
    EXPECT_EQ(button->renderTarget(), nullptr);
    EXPECT_TRUE(log.contains("render target", google::GLOG_ERROR) || log.contains("Direct2D", google::GLOG_ERROR));
    button->redraw();
    ASSERT_TRUE(Testing::Click(button->window(), POINT{20, 20}, Testing::InputMode::Posted));
    EXPECT_TRUE(Testing::PumpMessagesUntil(
        [&] { return !parent.receivedOf(ToMessage(SplashMessage::ButtonClicked)).empty(); }, 5s));
    auto bar = ProgressBar::Create(34477, {0, 100, 400, 164}, nullptr, parent.hwnd());
    bar->SetValue(30);
    Testing::PumpMessagesFor(100ms);
}

TEST(WidgetFailureTest, AnExceptionInAWindowProcedureIsCaughtAndReported) {
    Testing::LogCapture log;
    TestParent parent;
    const LRESULT result = GuardedWindowProc(parent.hwnd(), "Test window procedure",
                                             []() -> LRESULT { throw std::runtime_error("widget broke"); });
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(log.contains("widget broke", google::GLOG_ERROR));
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return !parent.receivedOf(kWidgetFailedMessage).empty(); }, 5s));
}

} // namespace
