#include "installer/SignatureTagSettings.h"

#include <stdexcept>

#include <boost/url/parse.hpp>
#include <glog/logging.h>
#include <nlohmann/json.hpp>

#include "QorWebUid/WebUidFormat.h"
#include "utils/DistribName.h"
#include "utils/Settings.h"

namespace Nolvar {

namespace {

bool HasControlCharacters(const std::string& text) {
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7f) return true;
    return false;
}

// The text of `key`, or empty when absent; throws for a value that is not usable text.
std::string TextValue(const nlohmann::json& tag, const char* key) {
    const auto it = tag.find(key);
    if (it == tag.end()) return {};
    if (!it->is_string()) throw std::runtime_error(std::string("\"") + key + "\" is not a string");
    std::string text = it->get<std::string>();
    if (HasControlCharacters(text)) throw std::runtime_error(std::string("\"") + key + "\" holds control characters");
    return text;
}

bool IsHttpUrl(const std::string& text) {
    const auto url = boost::urls::parse_absolute_uri(text);
    if (!url) return false;
    const auto scheme = url->scheme_id();
    return (scheme == boost::urls::scheme::http || scheme == boost::urls::scheme::https) && !url->host().empty();
}

} // namespace

SignatureTagValues ParseSignatureTag(const std::string& tag) {
    const auto json = nlohmann::json::parse(tag);   // throws with the syntax error's text
    if (!json.is_object() || json.empty()) throw std::runtime_error("Cannot parse this tag as JSON");
    SignatureTagValues values;
    if (json.contains("browser")) values.browser = GetBrowserForSetupTag(TextValue(json, "browser"));
    values.configUrl = TextValue(json, "config_url");
    if (!values.configUrl.empty() && !IsHttpUrl(values.configUrl))
        throw std::runtime_error("\"config_url\" is not an http(s) URL");
    values.webUid = TextValue(json, "webuid");
    if (!values.webUid.empty() && !App::IsWebUidFormat(values.webUid))
        throw std::runtime_error("\"webuid\" is not a web user id");
    return values;
}

void ApplySignatureTag(const std::string& tag) {
    SignatureTagValues values;
    if (!tag.empty()) {
        try {
            values = ParseSignatureTag(tag);
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
        if (App::IsWebUidFormat(token)) values.webUid = token;
        else if (!token.empty()) LOG(WARNING) << "The web user id of the distribution file name is not one; ignored";
    }
    if (!values.webUid.empty()) Settings::Set(Settings::ID::WebUid, std::any(values.webUid));
}

} // namespace Nolvar
