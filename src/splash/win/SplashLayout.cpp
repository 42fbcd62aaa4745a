#include "splash/win/SplashLayout.h"

#include <array>

#include "splash/win/SplashMessage.h"

namespace Nolvar {

namespace {

// Indexed by screen number.
const std::array<std::vector<WORD>, 8>& ScreenTable() {
    static const std::array<std::vector<WORD>, 8> table = {{
        /* None */ {},
        /* Start */ {InstallButton, CloseButton, AgreementText, LicenceLink, SettingsToggle},
        /* Settings */
        {LanguageCaption, FolderCaption, InstallButton, CloseButton, AgreementText, LicenceLink, SettingsToggle,
         LanguageButton, FolderButton},
        /* Eula */
        {InstallButton, CloseButton, AgreementText, LicenceLink, LicenceText, SaveLicenceButton, SettingsToggle},
        /* Progress */ {ProgressBarId},
        /* Wait */ {WaitText, ActivityBar},
        /* Ready */ {CloseButton, StartButton},
        /* Cancel */ {},
    }};
    return table;
}

} // namespace

bool IsKnownScreen(SplashScreen screen) { return screen >= SplashScreen::Start && screen <= SplashScreen::Cancel; }

const std::vector<WORD>& WidgetIdsOfScreen(SplashScreen screen) {
    return ScreenTable()[IsKnownScreen(screen) ? static_cast<std::size_t>(screen) : 0];
}

int PanelHeight(SplashScreen screen) {
    return screen == SplashScreen::Settings || screen == SplashScreen::Eula ? kWidePanel : kNarrowPanel;
}

} // namespace Nolvar
