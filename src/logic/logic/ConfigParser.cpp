#include "logic/logic/ConfigParser.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <memory>
#include <vector>
#include <utility>

#include <glog/logging.h>

#include "logic/logic/ConfigFormat.h"
#include "splash/ISplash.h"
#include "utils/SystemFacts.h"
#include "utils/TextUtils.h"
#include "utils/UrlUtils.h"

namespace Nolvar {
namespace {

using json = nlohmann::json;
using Config::GetDefaultValue;

void SetText(Settings::ID id, const std::string& value) { Settings::Set(id, std::any(value)); }

// Reading a document yields its reports in order; they are made only after the whole document was read, so a
// document rejected while it is read reports nothing of itself.
using Report = std::function<void(IConfigParserObserver&)>;
using Reports = std::vector<Report>;

void WriteSettings(const json& section, const std::vector<std::pair<const char*, Settings::ID>>& table,
                   Reports& reports) {
    for (const auto& [key, id] : table)
        if (auto value = GetDefaultValue(section, key))
            reports.push_back([id = id, value = std::move(*value)](IConfigParserObserver&) { SetText(id, value); });
}

bool ReadProduct(const json& section, Reports& reports) {
    WriteSettings(section,
                  {{"version", Settings::ID::ProductVersion},
                   {"build_name", Settings::ID::BuildName},
                   {"module_name", Settings::ID::ModuleName}},
                  reports);
    return true;
}

bool ReadMacSpecific(const json& section, Reports& reports) {
    WriteSettings(section,
                  {{"BUNDLE_NAME", Settings::ID::BundleName},
                   {"BUNDLE_VERSION", Settings::ID::BundleVersion},
                   {"INSTALLED_WITH_IPC_IDS", Settings::ID::InstalledWithIpcIds},
                   {"PLATFORM_TYPE", Settings::ID::PlatformType},
                   {"DISABLE_AUTOSTART", Settings::ID::DisableAutostart}},
                  reports);
    return true;
}

InstallerItem ReadInstaller(const json& entry) {
    InstallerItem item;
    item.id = GetDefaultValue(entry, "id").value_or("");
    item.url = GetDefaultValue(entry, "url").value_or("");
    if (auto order = GetDefaultValue(entry, "install_order")) item.installOrder = Config::ToInt(*order, 0);
    if (auto args = GetDefaultValue(entry, "install_args")) item.installArgs = Config::SplitArguments(*args);
    if (StringToBool(GetDefaultValue(entry, "suppress_desktop_shortcuts").value_or("")))
        item.installArgs.push_back("/DISABLE_SHORTCUTS");
    for (const char* key : {"search_installed_win_exe_name", "search_installed_win_uninstall_registry_key_name"})
        if (auto value = GetDefaultValue(entry, key)) item.searchKeys[key] = *value;
    item.displayName = GetDefaultValue(entry, "display_name").value_or("");
    item.checkAppRunning = StringToBool(GetDefaultValue(entry, "check_app_running").value_or("true"));
    item.autodetectArch = StringToBool(GetDefaultValue(entry, "autodetect_arch").value_or("false"));
    return item;
}

bool ReadInstallers(const json& section, Reports& reports) {
    for (const auto& entry : section) {
        auto item = std::make_shared<InstallerItem>(ReadInstaller(entry));
        reports.push_back([item](IConfigParserObserver& observer) { observer.OnInstallerFound(std::move(*item)); });
    }
    return true;
}

bool ReadSplash(const json& section, Reports& reports) {
    static constexpr std::pair<const char*, SplashScreen> kImages[] = {{"start", SplashScreen::Start},
                                                                       {"progress", SplashScreen::Progress},
                                                                       {"wait", SplashScreen::Wait},
                                                                       {"ready", SplashScreen::Ready}};
    for (const auto& [key, screen] : kImages)
        if (auto url = GetDefaultValue(section, key))
            reports.push_back([screen = screen, url = ApplyStagingToUrl(*url)](IConfigParserObserver& observer) {
                observer.OnSplashImage(static_cast<int>(screen), url);
            });
    return true;
}

StatisticsSettings StatisticsSettingsOf(const json& section) {
    return {GetDefaultValue(section, "url").value_or(""), GetDefaultValue(section, "id").value_or(""),
            GetDefaultValue(section, "targetApplicationId").value_or("")};
}

bool ReadStatistics(const json& section, Reports& reports) {
    reports.push_back([settings = StatisticsSettingsOf(section)](IConfigParserObserver& observer) {
        observer.OnStatisticsSettings(settings.url, settings.productKey, settings.product);
    });
    return true;
}

bool ReadTesting(const json& section, Reports& reports) {
    for (const auto& [key, value] : section.items())
        if (key == "crash")
            reports.push_back([](IConfigParserObserver&) { Settings::Set(Settings::ID::TestingCrash, std::any(true)); });
    return true;
}

using SectionHandler = bool (*)(const json&, Reports&);

const std::vector<std::pair<std::string, SectionHandler>> kSectionHandlers = {
    {"Product", &ReadProduct},       {"Installers", &ReadInstallers}, {"MacSpecific", &ReadMacSpecific},
    {"Splash", &ReadSplash},         {"Statistics", &ReadStatistics}, {"Testing", &ReadTesting},
};

} // namespace

std::optional<StatisticsSettings> ReadStatisticsSettings(const std::string& configText) {
    const std::optional<json> document = Config::ParseDocument(configText);
    if (!document) return std::nullopt;
    const auto data = document->find("data");
    if (data == document->end() || !data->is_object()) return std::nullopt;
    const auto section = data->find("Statistics");
    if (section == data->end() || !section->is_object()) return std::nullopt;
    return StatisticsSettingsOf(*section);
}

ConfigParser::ConfigParser(IConfigParserObserver& observer, const ioPath& configFile)
    : ConfigParser(observer, std::make_shared<ConfigDataProvider>(configFile)) {}

ConfigParser::ConfigParser(IConfigParserObserver& observer, std::shared_ptr<IConfigDataProvider> provider)
    : m_observer(&observer), m_provider(std::move(provider)) {
    Settings::Subscribe(this);
}

ConfigParser::~ConfigParser() { Settings::Unsubscribe(this); }

void ConfigParser::OnSettingChanged(Settings::ID id, const std::any&) {
    if (id == Settings::ID::ProductVersion) SetText(Settings::ID::UserAgentHeader, MakeUserAgentHeader());
}

// Both roads (downloaded, built-in) share this frame: a validator that throws counts as a rejection, so a broken
// document always reaches the fallback instead of ending the run.
bool ConfigParser::Parse(const Validator& validator, const FailureHandler& onFailure) {
    ValidationErrorMap errors;
    const std::optional<std::string> builtIn = m_provider->GetDefaultConfig();
    const std::string text = m_provider->GetConfig();
    bool accepted = false;
    try {
        accepted = validator(text, builtIn, errors);
    } catch (const std::exception& error) {
        LOG(ERROR) << "Configuration cannot be read: " << error.what();
    }
    if (accepted) {
        LOG(INFO) << "Configuration loaded successfully";
        m_observer->OnConfigLoaded(errors);
        m_observer->OnConfigParsed();
        return true;
    }
    LOG(ERROR) << "Failed to parse configuration";
    return onFailure(errors);
}

bool ConfigParser::ValidateDownloaded(const std::string& text, const std::optional<std::string>& builtIn,
                                      ValidationErrorMap& errors) {
    auto document = Config::ParseDocument(text);
    if (!document) return false;
    m_document = std::move(*document);
    const bool haveBuiltIn = builtIn && !builtIn->empty();
    if (haveBuiltIn) {
        auto parsed = Config::ParseDocument(*builtIn);
        if (parsed)
            m_builtIn = std::move(*parsed);
        else
            LOG(ERROR) << "Invalid default json";
    }
    if (!Config::CheckRequiredKeys(m_document, errors) || !Config::CheckTypes(m_document) ||
        !Config::CheckInstallerUrls(m_document))
        return false;
    // Differences from the built-in configuration are reported, not refused: a deployer may change any value.
    if (haveBuiltIn) Config::CompareWithDefault(m_document, m_builtIn, errors);
    return WalkConfig();
}

// The built-in configuration passes the same checks as a downloaded one: it is the deployer's file too (replaced
// at build time), and a failure here is the last road, which ends in the no-connection pop-up.
bool ConfigParser::ValidateBuiltIn(ValidationErrorMap& errors) {
    SetText(Settings::ID::ConfigName, "CONFIG_FROM_INSTALLER");
    auto document = Config::ParseDocument(m_provider->GetDefaultConfig());
    if (!document) return false;
    m_document = std::move(*document);
    if (!Config::CheckRequiredKeys(m_document, errors) || !Config::CheckTypes(m_document) ||
        !Config::CheckInstallerUrls(m_document))
        return false;
    return WalkConfig();
}

bool ConfigParser::ParseConfig() {
    return Parse([this](const std::string& text, const std::optional<std::string>& builtIn,
                        ValidationErrorMap& errors) { return ValidateDownloaded(text, builtIn, errors); },
                 [this](const ValidationErrorMap& errors) {
                     m_observer->OnConfigInvalid(errors);
                     return ParseDefaultConfig();
                 });
}

bool ConfigParser::ParseDefaultConfig() {
    return Parse([this](const std::string&, const std::optional<std::string>&,
                        ValidationErrorMap& errors) { return ValidateBuiltIn(errors); },
                 [this](const ValidationErrorMap&) {
                     m_observer->OnDefaultConfigFailed();
                     return false;
                 });
}

bool ConfigParser::WalkConfig() {
    Reports reports;
    if (const auto name = m_document.find("configname"); name != m_document.end())
        reports.push_back([name = name->get<std::string>()](IConfigParserObserver& observer) { observer.OnConfigName(name); });
    for (const auto& [key, section] : m_document.at("data").items()) {
        const auto handler = std::find_if(kSectionHandlers.begin(), kSectionHandlers.end(),
                                          [&key = key](const auto& row) { return row.first == key; });
        if (handler == kSectionHandlers.end()) {
            // Newer servers may add sections: an unknown one is skipped so an older installer keeps working.
            LOG(WARNING) << "Unknown item: " << key;
            continue;
        }
        if (!handler->second(section, reports)) {
            LOG(ERROR) << "Failed to parse item: " << key;
            return false;
        }
    }
    for (const Report& report : reports) report(*m_observer);
    return true;
}

} // namespace Nolvar
