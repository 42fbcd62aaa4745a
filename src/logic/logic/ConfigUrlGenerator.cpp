#include "logic/logic/ConfigUrlGenerator.h"

#include <any>
#include <string_view>

#include "QorNetworking/Url.h"
#include "QorOS/SystemInfo.h"
#include "utils/Settings.h"

namespace Nolvar {
namespace {

constexpr std::string_view kMarker = "-TAIL_WITH_ARGS-";

// Text settings; one holding another type (a malformed command line) reads as empty.
std::string Text(Settings::ID id) {
    const std::any value = Settings::Get(id);
    const auto* text = std::any_cast<std::string>(&value);
    return text ? *text : std::string();
}

} // namespace

std::string ConfigUrlGenerator::Generate(const std::string& webUid) {
    const std::string url = Text(Settings::ID::ConfigUrl);
    if (url.size() < kMarker.size() || url.compare(url.size() - kMarker.size(), kMarker.size(), kMarker) != 0) {
        Settings::Set(Settings::ID::ConfigName, std::any(std::string("CONFIG_FROM_STATIC")));
        return url;
    }
    std::string version = Text(Settings::ID::InstallerVersion);
    for (char& c : version)
        if (c == '.') c = '-';
    Networking::Url result(std::string_view(url).substr(0, url.find(kMarker)), Networking::Url::ParsingMode::Lenient);
    result.addParameter("huid", Text(Settings::ID::HardwareId))
        .addParameter("webuid", webUid)
        .addParameter("app", Text(Settings::ID::ProductId) + "_netsetter")
        .addParameter("app_ver", version)
        .addParameter("partner", Text(Settings::ID::Partner))
        .addParameter("os", Text(Settings::ID::OsNameVersion))
        .addParameter("os_bits", Text(Settings::ID::OsBits))
        .addParameter("platform", Core::AppBits())
        .addParameter("cpu_arch", Core::ProcessorArchitecture())
        .addParameter("bundle_name", Text(Settings::ID::BundleName))
        .addParameter("brand", Text(Settings::ID::BrandName));
    Settings::Set(Settings::ID::ConfigUrl, std::any(result.toString()));
    return result.toString();
}

} // namespace Nolvar
