// The splash window driven directly through ISplash, as the installer logic drives it, with the user's clicks
// coming from the window probe.
#include <algorithm>
#include <thread>

#include <gtest/gtest.h>

#include "splash/win/WinSplash.h"
#include "splash/win/gui_tests/RecordingSplashObserver.h"
#include "splash/win/widgets/WidgetDrawing.h"
#include "testing/LogCapture.h"
#include "testing/WindowProbe.h"

using namespace Nolvar;
using namespace std::chrono_literals;

namespace {

constexpr auto kWait = 60s;

HWND MainWindow() { return Testing::WaitForTopWindow(L"Nolvaria Installer", L"", kWait, GetCurrentProcessId()); }

HWND Popup() {
    const auto end = std::chrono::steady_clock::now() + kWait;
    while (std::chrono::steady_clock::now() < end) {
        if (HWND popup = Testing::FindTopWindow(L"popupMessage", L"", GetCurrentProcessId())) return popup;
        if (HWND main = Testing::FindTopWindow(L"Nolvaria Installer", L"", GetCurrentProcessId()))
            if (HWND popup = Testing::FindDescendantByClass(main, L"popupMessage"))
                if (IsWindowVisible(popup)) return popup;
        std::this_thread::sleep_for(20ms);
    }
    return nullptr;
}

void ClickChild(HWND parent, int id) {
    HWND child = Testing::FindDescendantById(parent, id);
    ASSERT_TRUE(child) << id;
    ASSERT_TRUE(Testing::ClickCenter(child, Testing::InputMode::Posted));
}

} // namespace

TEST(WinSplash, NoConnectionRightAfterConstructionWaitsForTheWindowAndReportsTheEnglishText) {
    Testing::RecordingSplashObserver observer;
    auto splash = CreateSplash(observer);
    splash->ShowNoConnectionPopup();
    HWND popup = Popup();
    ASSERT_TRUE(popup);
    EXPECT_TRUE(observer.Has(
        "SomethingWrongShown You need to be connected to the Internet to download the program."));
    ClickChild(popup, 34470);
    EXPECT_TRUE(observer.WaitFor("Exit 0 You need to be connected to the Internet to download the program."));
    splash.reset();
    EXPECT_FALSE(Testing::FindTopWindow(L"Nolvaria Installer", L"", GetCurrentProcessId()));
}

TEST(WinSplash, CloseBeforeTheWindowIsShownAndDestructionWithoutCloseBothEnd) {
    Testing::RecordingSplashObserver observer;
    {
        auto splash = CreateSplash(observer);
        splash->Close();
        EXPECT_FALSE(Testing::FindTopWindow(L"Nolvaria Installer", L"", GetCurrentProcessId()));
        splash->SetScreen(SplashScreen::Start);   // after Close: nothing, and no wait
        splash->SetProgress(50);
    }
    {
        auto splash = CreateSplash(observer);
    }
    EXPECT_FALSE(Testing::FindTopWindow(L"Nolvaria Installer", L"", GetCurrentProcessId()));
    EXPECT_TRUE(observer.Calls().empty());
}

TEST(WinSplash, UnknownScreenAndALateStartScreenLeaveTheScreenAsItIs) {
    Testing::RecordingSplashObserver observer;
    Testing::LogCapture log;
    auto splash = CreateSplash(observer);
    splash->SetCaption("Caption");
    splash->SetScreen(SplashScreen::Progress);
    HWND main = MainWindow();
    ASSERT_TRUE(main);
    EXPECT_TRUE(Testing::FindDescendantByClass(main, L"progrssBar"));
    splash->SetScreen(static_cast<SplashScreen>(9));
    splash->SetSplashImage("not a png");
    splash->SetScreen(SplashScreen::Start);
    EXPECT_TRUE(Testing::FindDescendantByClass(main, L"progrssBar"));
    EXPECT_FALSE(Testing::FindDescendantById(main, 34469));
    EXPECT_EQ(observer.Calls(), (std::vector<std::string>{"ScreenShown 4 no-image"}));
    EXPECT_NE(log.text().find("Screen 9 is unknown; ignored"), std::string::npos);
    splash->Close();
}

TEST(WinSplash, EachRetryPopupNamesItsOwnProductAndASecondPopupIsDropped) {
    Testing::RecordingSplashObserver observer;
    Testing::LogCapture log;
    auto splash = CreateSplash(observer);
    splash->SetSplashImageMissing();
    splash->SetScreen(SplashScreen::Start);
    splash->ShowRetryPopup("First", 4);
    HWND popup = Popup();
    ASSERT_TRUE(popup);
    splash->ShowDiskSpacePopup("C:\\", 1000, 2000);
    EXPECT_NE(log.text().find("not shown: another pop-up is open"), std::string::npos);
    ClickChild(popup, 34489);   // Cancel
    ASSERT_TRUE(observer.WaitFor("RetryCancelled"));
    ASSERT_TRUE(Testing::WaitForWindowGone(popup, kWait) || !IsWindowVisible(popup));

    splash->ShowRetryPopup("Second", 4);
    ASSERT_TRUE(Popup());
    EXPECT_TRUE(observer.Has("SomethingWrongShown Installation paused\nTo continue, close Second and try again."));
    splash->Close();
}

TEST(WinSplash, AWidgetFailingInAPopupEndsTheWindowThroughTheFailurePath) {
    Testing::RecordingSplashObserver observer;
    Testing::LogCapture log;
    auto splash = CreateSplash(observer);
    splash->SetSplashImageMissing();
    splash->SetScreen(SplashScreen::Start);
    splash->ShowRetryPopup("Product", 1);
    HWND popup = Popup();
    ASSERT_TRUE(popup);
    HWND tryAgain = Testing::FindDescendantById(popup, 34488);
    ASSERT_TRUE(tryAgain);
    // What the pop-up button's window procedure does with an exception it caught.
    ReportWindowProcFailure(tryAgain, "Button window procedure", "broken");
    EXPECT_TRUE(observer.WaitFor("Exit 1 A widget of the splash window failed"));
    EXPECT_TRUE(Testing::WaitForWindowGone(popup, kWait));
    EXPECT_FALSE(Testing::FindTopWindow(L"Nolvaria Installer", L"", GetCurrentProcessId()));
    EXPECT_TRUE(log.contains("Splash window procedure failed: A widget of the splash window failed",
                             google::GLOG_ERROR));
    splash->Close();   // the window is gone: returns at once
}

TEST(WinSplash, AnImageThatCannotBeDecodedShowsBlankWithTheCaptionAndIsReportedNotShown) {
    Testing::RecordingSplashObserver observer;
    auto splash = CreateSplash(observer);
    splash->SetCaption("Caption");
    splash->SetSplashImage("not a png");
    splash->SetScreen(SplashScreen::Start);
    EXPECT_TRUE(observer.Has("ScreenShown 1 no-image"));
    HWND main = MainWindow();
    ASSERT_TRUE(main);
    for (const auto screen : {SplashScreen::Start, SplashScreen::Settings}) {
        splash->SetScreen(screen);
        const auto capture = Testing::CaptureClientAfterRepaint(main);
        ASSERT_TRUE(capture);
        SCOPED_TRACE("screen " + std::to_string(static_cast<int>(screen)));
        // The blank 1340 x 712 image at half size: white, with the caption across it.
        EXPECT_EQ(capture->width, 668);
        EXPECT_GT(capture->count(RECT{200, 60, 600, 150}, [](auto c) { return Testing::ColourNear(c, 0xFFFFFF); }),
                  30000);
        EXPECT_GT(capture->count(RECT{200, 160, 470, 196}, [](auto c) { return Testing::IsDark(c); }), 20)
            << "no caption";
    }
    splash->Close();
}
