#pragma once
// A recording parser observer and a configuration provider with given texts.
#include <string>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "logic/logic/ConfigDataProvider.h"
#include "logic/logic/IConfigParserObserver.h"
#include "utils/Settings.h"
#include "utils/Resources.h"

namespace ConfigTest {

using namespace Nolvar;

class TextProvider : public IConfigDataProvider {
public:
    TextProvider(std::string config, std::string builtIn) : m_config(std::move(config)), m_builtIn(std::move(builtIn)) {}
    std::string GetConfig() const override { return m_config; }
    std::string GetDefaultConfig() const override { return m_builtIn; }

private:
    std::string m_config;
    std::string m_builtIn;
};

inline std::string ErrorsText(const ValidationErrorMap& errors) {
    std::string text;
    for (int code = 1; code <= 3; ++code) {
        const auto it = errors.find(static_cast<ValidationErrors>(code));
        if (it == errors.end()) continue;
        text += fmt::format("[{} {}", code, it->second.sectionName);
        for (const auto& key : it->second.keys) text += " " + key;
        text += "]";
    }
    return text;
}

class Recorder : public IConfigParserObserver {
public:
    void OnConfigName(const std::string& name) override { calls.push_back("name " + name); }
    void OnInstallerFound(InstallerItem item) override {
        calls.push_back("installer " + item.id);
        items.push_back(std::move(item));
    }
    void OnSplashImage(int screen, const std::string& url) override {
        calls.push_back(fmt::format("splash {} {}", screen, url));
        userAgentAtSplash = Settings::GetString(Settings::ID::UserAgentHeader, "");
    }
    void OnStatisticsSettings(const std::string& url, const std::string& id, const std::string& target) override {
        calls.push_back(fmt::format("statistics {} {} {}", url, id, target));
    }
    void OnConfigLoaded(const ValidationErrorMap& errors) override { calls.push_back("loaded " + ErrorsText(errors)); }
    void OnConfigInvalid(const ValidationErrorMap& errors) override { calls.push_back("invalid " + ErrorsText(errors)); }
    void OnDefaultConfigFailed() override { calls.push_back("default failed"); }
    void OnConfigParsed() override { calls.push_back("parsed"); }

    bool has(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }
    size_t count(const std::string& prefix) const {
        return std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }

    std::vector<std::string> calls;
    std::vector<InstallerItem> items;
    std::string userAgentAtSplash;
};

inline std::string BuiltInText() { return LoadRcDataResource("IDR_DEFAULT_CFG"); }
inline nlohmann::json BuiltIn() { return nlohmann::json::parse(BuiltInText()); }

} // namespace ConfigTest
