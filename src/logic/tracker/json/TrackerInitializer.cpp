#include "logic/tracker/json/TrackerInitializer.h"

#include <memory>

#include <glog/logging.h>

#include "QorTracker/ITrackerDataProvider.h"

#include "utils/Settings.h"
#include "utils/SettingsInit.h"

namespace Nolvar {

namespace {

std::string Sanitized(const char* key, std::string value) {
    if (value.find_first_of("#=") == std::string::npos) return value;
    LOG(WARNING) << "Statistics value " << key << " holds \"#\" or \"=\", replaced by \"_\"";
    for (char& c : value) {
        if (c == '#' || c == '=') c = '_';
    }
    return value;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(text[i]) != lower(prefix[i])) return false;
    }
    return true;
}

// The text setting, or `fallback` when it is unset or empty (an empty module name makes the tracker refuse).
std::string TextOr(Settings::ID id, const char* fallback) {
    const auto text = Settings::GetTextOption(id);
    return text && !text->empty() ? *text : fallback;
}

// Turns sending off; the initializer gives every other value. A storing pipeline builds no upload, so the version
// it asks for when the product version is not known yet is never used.
class StoringOnly final : public Tracking::ITrackerDataProvider, public Tracking::ITrackerSettings {
public:
    bool getBool(const std::string& key, bool defaultValue) const override {
        return key == Tracking::kPreventEventsSending ? true : defaultValue;
    }
    std::shared_ptr<Tracking::ITrackerSettings> getSettings() const override {
        return std::make_shared<StoringOnly>();
    }
    Core::Version getVersion() const override { return {}; }
    std::string getVendor() const override { return {}; }
    std::pair<std::string, std::string> getHeader() const override { return {}; }
    std::string getProduct() const override { return {}; }
    std::string getModuleName() const override { return {}; }
    std::string getStatisticsUrl() const override { return {}; }
};

} // namespace

std::string MakeInitializationString(const std::string& productKey) {
    const std::pair<const char*, std::string> parts[] = {
        {"PRODUCT_NAME", Settings::GetString(Settings::ID::ProductDisplayName, "")},
        {"PRODUCT_KEY", productKey},
        {"PRODUCT_VENDOR", kStatisticsVendor},
        {"BUILD_NAME", TextOr(Settings::ID::BuildName, "netsetter")},
        {"USER_ID", Settings::GetString(Settings::ID::HardwareId, "")},
    };
    std::string text;
    for (const auto& [key, value] : parts) text += std::string("#") + key + "=" + Sanitized(key, value);
    return text;
}

std::string BareUserAgent(const std::string& headerLine) {
    static const std::string prefix = "User-Agent:";
    if (!StartsWithNoCase(headerLine, prefix)) return headerLine;
    const auto start = headerLine.find_first_not_of(' ', prefix.size());
    return start == std::string::npos ? std::string() : headerLine.substr(start);
}

Tracking::IApplicationTracker::Initializer MakeTrackerInitializer(const std::string& statisticsUrl,
                                                                  const std::string& productKey,
                                                                  const std::string& product) {
    Tracking::IApplicationTracker::Initializer initializer;
    initializer.initializationString = MakeInitializationString(productKey);
    initializer.moduleName = TextOr(Settings::ID::ModuleName, "netsetter");
    initializer.statisticsUrl = statisticsUrl;
    initializer.version = Settings::GetString(Settings::ID::ProductVersion, "");
    initializer.vendor = kStatisticsVendor;
    initializer.product = product;
    // The setting holds a whole header line; the upload's header takes only the agent.
    initializer.extraHeader = std::make_pair(std::string("User-Agent"),
                                             BareUserAgent(Settings::GetString(Settings::ID::UserAgentHeader, "")));
    return initializer;
}

Tracking::IApplicationTracker::Initializer MakeStoringInitializer(const StatisticsSettings& settings) {
    auto initializer = MakeTrackerInitializer(settings.url, settings.productKey, settings.product);
    initializer.dataProvider = std::make_shared<StoringOnly>();
    return initializer;
}

} // namespace Nolvar
