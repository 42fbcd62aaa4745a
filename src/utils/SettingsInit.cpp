#include "utils/SettingsInit.h"

#include <array>
#include <string_view>
#include <utility>
#include <vector>

#include <glog/logging.h>

#include "QorOS/SystemInfo.h"
#include "utils/HardwareInfo.h"
#include "utils/ProductInfo.h"
#include "utils/Settings.h"
#include "utils/DistribName.h"
#include "utils/StartupTexts.h"
#include "utils/SystemFacts.h"
#include "utils/TextUtils.h"

namespace Nolvar::Settings {
namespace {

struct Option {
    std::string_view name;
    ID id;
    bool flag; // read as a flag by the installer
};

constexpr std::array<Option, 8> kOptions = {{
    {"--config-file", ID::ConfigFile, false},
    {"--config-url", ID::ConfigUrl, false},
    {"--debug", ID::Debug, true},
    {"--debug-info", ID::DebugInfo, true},
    {"--log-path", ID::LogPath, false},
    {"--build-name", ID::BuildName, false},
    {"--module-name", ID::ModuleName, false},
    {"--distrib-name", ID::DistribName, false},
}};

void SetText(ID id, std::string value) { Set(id, std::any(std::move(value))); }

// Command-line values refused by Init, told once logging is on.
std::vector<std::string>& RefusedValues() {
    static std::vector<std::string> notes;
    return notes;
}

} // namespace

void Init(int argc, char** argv) {
    SetText(ID::BrandName, Product::BrandName());
    SetText(ID::BundleName, "");
    SetText(ID::ConfigUrl, Product::DefaultConfigUrl());
    SetText(ID::DistribName, "");
    SetText(ID::HardwareId, CreateHardwareInfo()->GetHardwareId());
    SetText(ID::OsBits, GetOsBits());
    SetText(ID::OsNameVersion, Core::SystemName() + Core::SystemVersion("-"));
    SetText(ID::Partner, "");
    SetText(ID::ProductId, Product::Id());
    SetText(ID::ProductDisplayName, Product::DisplayName());
    // The installer version comes before the user agent, which carries it until the configuration names a product
    // version.
    SetText(ID::InstallerVersion, Product::InstallerVersion());
    SetText(ID::UserAgentHeader, MakeUserAgentHeader());

    RefusedValues().clear();
    for (int i = 1; i < argc && argv && argv[i]; ++i) {
        const std::string_view argument = argv[i];
        const auto equals = argument.find('=');
        const std::string_view key = argument.substr(0, equals);
        for (const Option& option : kOptions) {
            if (option.name != key) continue;
            if (equals == std::string_view::npos) {
                Set(option.id, std::any(true));
                break;
            }
            std::string value(argument.substr(equals + 1));
            if (value.empty()) {
                // As good as absent: the start-up value stays.
                RefusedValues().push_back("Command-line option " + std::string(option.name) +
                                          " has an empty value; it is ignored");
                break;
            }
            if (option.id == ID::ConfigUrl) {
                if (const auto problem = StartupTextProblem(StartupText::ConfigUrl, value)) {
                    RefusedValues().push_back("Command-line option --config-url " + *problem + "; it is ignored");
                    break;
                }
            }
            SetText(option.id, std::move(value));
            break;
        }
    }

    SetText(ID::StagingToken, GetDistribNameToken("_STG"));
}

std::optional<std::string> GetTextOption(ID id) {
    const std::any value = Get(id);
    if (const auto* text = std::any_cast<std::string>(&value)) return *text;
    return std::nullopt;
}

std::string GetText(ID id, const std::string& fallback) { return GetTextOption(id).value_or(fallback); }

bool GetFlagOption(ID id) {
    const std::any value = Get(id);
    if (const auto* flag = std::any_cast<bool>(&value)) return *flag;
    if (const auto* text = std::any_cast<std::string>(&value)) return StringToBool(*text);
    return false;
}

void WarnAboutMalformedOptions() {
    for (const std::string& note : RefusedValues()) LOG(WARNING) << note;
    for (const Option& option : kOptions) {
        const std::any value = Get(option.id);
        if (!option.flag && std::any_cast<bool>(&value))
            LOG(WARNING) << "Command-line option " << option.name << " needs a value (" << option.name
                         << "=...); it is ignored";
        if (option.flag && std::any_cast<std::string>(&value))
            LOG(WARNING) << "Command-line option " << option.name << " takes no value; read as "
                         << (GetFlagOption(option.id) ? "true" : "false");
    }
}

} // namespace Nolvar::Settings
