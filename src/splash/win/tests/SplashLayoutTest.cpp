// The window's screens and message ranges by name: each screen's widgets and panel, the numbers the interfaces
// typed int carry, and the ranges of the window's own messages taken from their first and last entries.
#include <gtest/gtest.h>

#include "splash/win/SplashLayout.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/SplashState.h"

using namespace Nolvar;

TEST(SplashLayout, ScreensShowTheirWidgetsAndPanelsAndUnknownOnesNone) {
    EXPECT_EQ(WidgetIdsOfScreen(SplashScreen::Start),
              (std::vector<WORD>{InstallButton, CloseButton, AgreementText, LicenceLink, SettingsToggle}));
    EXPECT_EQ(WidgetIdsOfScreen(SplashScreen::Settings).size(), 9u);
    EXPECT_EQ(WidgetIdsOfScreen(SplashScreen::Ready), (std::vector<WORD>{CloseButton, StartButton}));
    EXPECT_TRUE(WidgetIdsOfScreen(SplashScreen::Cancel).empty());
    EXPECT_TRUE(WidgetIdsOfScreen(ScreenOfNumber(8)).empty());
    EXPECT_FALSE(IsKnownScreen(SplashScreen::None));
    EXPECT_FALSE(IsKnownScreen(ScreenOfNumber(-1)));
    EXPECT_EQ(PanelHeight(SplashScreen::Eula), kWidePanel);
    EXPECT_EQ(PanelHeight(SplashScreen::Wait), kNarrowPanel);
    EXPECT_EQ(ScreenNumber(SplashScreen::Progress), 4);
    EXPECT_EQ(ScreenOfNumber(6), SplashScreen::Ready);
    EXPECT_EQ(ImageTypeOfScreen(SplashScreen::Cancel), SplashImageType::Wait);
}

TEST(SplashLayout, TheWindowsMessageRangesRunFromTheFirstEntryToTheLast) {
    EXPECT_EQ(ToMessage(SplashMessage::Progress), static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(ToMessage(SplashMessage::ShowDiskSpace), static_cast<UINT>(WM_USER + 13));
    EXPECT_FALSE(IsOneOf<SplashMessage>(WM_USER));
    EXPECT_TRUE(IsOneOf<SplashMessage>(WM_USER + 1));
    EXPECT_TRUE(IsOneOf<SplashMessage>(WM_USER + 13));
    EXPECT_FALSE(IsOneOf<SplashMessage>(WM_USER + 14));
    EXPECT_TRUE(IsOneOf<SplashTask>(WM_APP + 1));
    EXPECT_TRUE(IsOneOf<SplashTask>(static_cast<UINT>(SplashTask::MainImageArrived)));
    EXPECT_FALSE(IsOneOf<SplashTask>(WM_APP + 9));
    EXPECT_FALSE(IsOneOf<SplashTask>(WM_APP + 0x100)) << "a widget's failure is no task";
}
