#include "logic/logic/ConfigUrlGenerator.h"

#include <any>
#include <string_view>

#include "QorNetworking/Url.h"
#include "QorOS/SystemInfo.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"

namespace Nolvar {
namespace {

constexpr std::string_view kMarker = "-TAIL_WITH_ARGS-";

} // namespace

std::string ConfigUrlGenerator::Generate(const std::string& webUid) {
    // Text settings; one holding another type (a malformed command line) reads as empty.
    using Settings::GetText;
    const std::string url = GetText(Settings::ID::ConfigUrl);
    if (!url.ends_with(kMarker)) {
        Settings::Set(Settings::ID::ConfigName, std::any(std::string("CONFIG_FROM_STATIC")));
        return url;
    }
    std::string version = GetText(Settings::ID::InstallerVersion);
    for (char& c : version)
        if (c == '.') c = '-';
    Networking::Url result(std::string_view(url).substr(0, url.find(kMarker)), Networking::Url::ParsingMode::Lenient);
    result.addParameter("huid", GetText(Settings::ID::HardwareId))
        .addParameter("webuid", webUid)
        .addParameter("app", GetText(Settings::ID::ProductId) + "_netsetter")
        .addParameter("app_ver", version)
        .addParameter("partner", GetText(Settings::ID::Partner))
        .addParameter("os", GetText(Settings::ID::OsNameVersion))
        .addParameter("os_bits", GetText(Settings::ID::OsBits))
        .addParameter("platform", Core::AppBits())
        .addParameter("cpu_arch", Core::ProcessorArchitecture())
        .addParameter("bundle_name", GetText(Settings::ID::BundleName))
        .addParameter("brand", GetText(Settings::ID::BrandName));
    Settings::Set(Settings::ID::ConfigUrl, std::any(result.toString()));
    return result.toString();
}

} // namespace Nolvar
