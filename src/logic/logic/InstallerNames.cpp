#include "logic/logic/InstallerNames.h"

#include <array>
#include <utility>

namespace Nolvar {

namespace {

constexpr std::array<const char*, 9> kExitStateNames = {
    "SUCCESS",
    "UNKNOWN_ERROR",
    "INSTALLER_PREPARATION_CANCELLED",
    "INSTALLER_RETRY_CANCELLED",
    "PRODUCT_STARTED_ON_REINSTALL",
    "PRODUCT_STARTED_ON_UNINSTALL",
    "INSTALLER_ERROR",
    "UNINSTALLER_ERROR",
    "INCORRECT_PATH",
};

constexpr std::array<std::pair<SplashScreen, const char*>, 7> kScreenNames = {{
    {SplashScreen::Start, "START"},
    {SplashScreen::Settings, "SETTINGS"},
    {SplashScreen::Eula, "EULA"},
    {SplashScreen::Progress, "PROGRESS"},
    {SplashScreen::Wait, "WAIT"},
    {SplashScreen::Ready, "READY"},
    {SplashScreen::Cancel, "CANCEL"},
}};

} // namespace

std::string ExitStateName(ExitState state) {
    if (state >= 0 && static_cast<std::size_t>(state) < kExitStateNames.size()) return kExitStateNames[state];
    return "UNKNOWN";
}

std::string ScreenName(SplashScreen screen) {
    for (const auto& [known, name] : kScreenNames)
        if (known == screen) return name;
    return {};
}

SplashScreen ScreenFromName(const std::string& name) {
    for (const auto& [screen, screenName] : kScreenNames)
        if (name == screenName) return screen;
    return SplashScreen::None;
}

std::string ImageTypeName(SplashImageType type) { return ScreenName(static_cast<SplashScreen>(type)); }

} // namespace Nolvar
