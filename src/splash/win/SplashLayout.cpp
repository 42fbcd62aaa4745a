#include "splash/win/SplashLayout.h"

#include <array>

#include "splash/win/SplashMessage.h"

namespace Nolvar {

namespace {

const std::array<std::vector<WORD>, 8>& ScreenTable() {
    static const std::array<std::vector<WORD>, 8> table = {{
        {},
        {InstallButton, CloseButton, AgreementText, LicenceLink, SettingsToggle},
        {LanguageCaption, FolderCaption, InstallButton, CloseButton, AgreementText, LicenceLink, SettingsToggle,
         LanguageButton, FolderButton},
        {InstallButton, CloseButton, AgreementText, LicenceLink, LicenceText, SaveLicenceButton, SettingsToggle},
        {ProgressBarId},
        {WaitText, ActivityBar},
        {CloseButton, StartButton},
        {},
    }};
    return table;
}

} // namespace

bool IsKnownScreen(int screen) { return screen >= 1 && screen <= 7; }

const std::vector<WORD>& WidgetIdsOfScreen(int screen) {
    return ScreenTable()[IsKnownScreen(screen) ? static_cast<std::size_t>(screen) : 0];
}

int PanelHeight(int screen) { return screen == 2 || screen == 3 ? kWidePanel : kNarrowPanel; }

} // namespace Nolvar
