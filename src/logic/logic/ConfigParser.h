#pragma once
// Turns the configuration into settings and reports to the installer logic; falls back to the built-in one.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "QorFilesystem/Path.h"
#include "logic/logic/ConfigDataProvider.h"
#include "logic/logic/IConfigParserObserver.h"
#include "logic/tracker/json/IStatisticsTracker.h"
#include "utils/Settings.h"

namespace Nolvar {

// The "Statistics" values of a configuration document; nothing when it cannot be read or has no such section.
std::optional<StatisticsSettings> ReadStatisticsSettings(const std::string& configText);

// One parser per parse, on the logic's thread. While it exists it keeps the user-agent header in step with the
// product version. No exception leaves a parse: a document that cannot be read whole is rejected.
class ConfigParser : public virtual ISettingsObserver {
public:
    ConfigParser(IConfigParserObserver& observer, const ioPath& configFile);
    ConfigParser(IConfigParserObserver& observer, std::shared_ptr<IConfigDataProvider> provider);
    ~ConfigParser() override;
    ConfigParser(const ConfigParser&) = delete;
    ConfigParser& operator=(const ConfigParser&) = delete;

    // The downloaded configuration, else the built-in one; true when either was accepted.
    bool ParseConfig();
    // The built-in configuration only; true when it was accepted.
    bool ParseDefaultConfig();

    void OnSettingChanged(Settings::ID id, const std::any& value) override;

private:
    using Validator = std::function<bool(const std::string&, const std::optional<std::string>&, ValidationErrorMap&)>;
    using FailureHandler = std::function<bool(const ValidationErrorMap&)>;

    bool Parse(const Validator& validator, const FailureHandler& onFailure);
    bool ValidateDownloaded(const std::string& text, const std::optional<std::string>& builtIn, ValidationErrorMap& errors);
    bool ValidateBuiltIn(ValidationErrorMap& errors);
    bool WalkConfig();

    IConfigParserObserver* m_observer;
    std::shared_ptr<IConfigDataProvider> m_provider;
    nlohmann::json m_document;
    nlohmann::json m_builtIn;
};

} // namespace Nolvar
