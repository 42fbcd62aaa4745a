#include "installer/SignatureTagSettings.h"

#include <stdexcept>

#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "utils/DistribName.h"
#include "utils/Settings.h"
#include "utils/StartupTexts.h"

namespace Nolvar {

namespace {

// The text of `key`, or empty when absent; throws for a value that is not text.
std::string TextValue(const nlohmann::json& tag, const char* key) {
    const auto it = tag.find(key);
    if (it == tag.end()) return {};
    if (!it->is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not a string");
    return it->get<std::string>();
}

// The text of `key` when it passes the check the command line's values pass too; throws naming the problem.
std::string CheckedValue(const nlohmann::json& tag, const char* key, StartupText kind) {
    std::string text = TextValue(tag, key);
    if (text.empty()) return text;
    if (const auto problem = StartupTextProblem(kind, text))
        throw std::runtime_error(std::string("\"") + key + "\" " + *problem);
    return text;
}

} // namespace

SignatureTagValues ParseSignatureTag(const std::string& tag) {
    const auto json = nlohmann::json::parse(tag);   // throws with the syntax error's text
    if (!json.is_object() || json.empty()) throw std::runtime_error("Cannot parse this tag as JSON");
    SignatureTagValues values;
    if (json.contains("browser")) values.browser = GetBrowserForSetupTag(TextValue(json, "browser"));
    values.configUrl = CheckedValue(json, "config_url", StartupText::ConfigUrl);
    values.webUid = CheckedValue(json, "webuid", StartupText::WebUid);
    return values;
}

void ApplySignatureTag(const Core::SignatureTagReading& reading) {
    SignatureTagValues values;
    if (!reading.failure.empty()) {
        LOG(ERROR) << "Failed to parse Signature Tag. " << reading.failure;
    } else if (!reading.tag.empty()) {
        try {
            values = ParseSignatureTag(reading.tag);
        } catch (const std::exception& e) {
            LOG(ERROR) << "Failed to parse Signature Tag. " << e.what();
            values = {};
        }
    }
    if (values.browser.empty()) values.browser = FindSetupTagInDistribName().first;
    if (!values.browser.empty()) Settings::Set(Settings::ID::PreferredBrowser, std::any(values.browser));
    if (!values.configUrl.empty()) Settings::Set(Settings::ID::ConfigUrl, std::any(values.configUrl));
    if (values.webUid.empty()) {
        const std::string token = GetDistribNameToken("_W");
        if (!token.empty() && !StartupTextProblem(StartupText::WebUid, token)) values.webUid = token;
        else if (!token.empty()) LOG(WARNING) << "The web user id of the distribution file name is not one; ignored";
    }
    if (!values.webUid.empty()) Settings::Set(Settings::ID::WebUid, std::any(values.webUid));
}

} // namespace Nolvar
