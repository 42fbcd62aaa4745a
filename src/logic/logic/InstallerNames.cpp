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

constexpr std::array<std::pair<std::int32_t, const char*>, 7> kScreenNames = {{
    {1, "START"},
    {2, "SETTINGS"},
    {3, "EULA"},
    {4, "PROGRESS"},
    {5, "WAIT"},
    {6, "READY"},
    {7, "CANCEL"},
}};

} // namespace

std::string ExitStateName(ExitState state) {
    if (state >= 0 && static_cast<std::size_t>(state) < kExitStateNames.size()) return kExitStateNames[state];
    return "UNKNOWN";
}

std::string ScreenName(std::int32_t screen) {
    for (const auto& [number, name] : kScreenNames)
        if (number == screen) return name;
    return {};
}

std::int32_t ScreenFromName(const std::string& name) {
    for (const auto& [number, screenName] : kScreenNames)
        if (name == screenName) return number;
    return 0;
}

} // namespace Nolvar
