// The window messages' parameter layouts: the exact bits a sender puts in, and the same values read back out.
#include <gtest/gtest.h>

#include "splash/win/SplashMessage.h"

using namespace Nolvar;

TEST(SplashMessage, ParametersLieInTheirBitsAndReadBackAsSent) {
    static_assert(PackProgress(57) == ((57u << 16) | 57u));
    static_assert(PackProgress(0x12345) == 0x23452345u, "cut to 16 bits, in both halves");
    EXPECT_EQ(UnpackProgress(PackProgress(250)), 250u) << "not clamped";

    static_assert(PackWidgetId(InstallButton) == 34469u);
    EXPECT_EQ(UnpackWidgetId(PackWidgetId(FolderButton)), FolderButton);

    static_assert(PackPopupResult(InformationPopup, OkButton) == ((34470u << 16) | 34482u));
    constexpr PopupResultParam result = UnpackPopupResult(PackPopupResult(RetryPopup, WarningCancelButton));
    EXPECT_EQ(result.popupId, RetryPopup);
    EXPECT_EQ(result.buttonId, WarningCancelButton);
    EXPECT_EQ(UnpackPopupResult(PackPopupResult(CancelQuestionPopup, 0)).buttonId, 0) << "the window was closed";

    static_assert(PackToggleChanged(LicenceLink, true) == (34473u | (1u << 16)));
    static_assert(PackToggleChanged(LicenceLink, false) == 34473u);
    EXPECT_TRUE(UnpackToggleChanged(PackToggleChanged(SettingsToggle, true)).checked);
    EXPECT_EQ(UnpackToggleChanged(PackToggleChanged(SettingsToggle, true)).widgetId, SettingsToggle);
    EXPECT_TRUE(UnpackToggleChanged(34473u | (0x80u << 16)).checked) << "any high bit means checked";

    static_assert(PackScreen(SplashScreen::Ready) == 6u);
    EXPECT_EQ(UnpackScreen(PackScreen(SplashScreen::Eula)), SplashScreen::Eula);
    EXPECT_EQ(static_cast<int>(UnpackScreen(PackScreen(static_cast<SplashScreen>(-1)))), -1) << "unknown stays unknown";

    EXPECT_EQ(UnpackExitState(PackExitState(ExitStates::NotReported)), -1);
}
