#include "Tracking/Tallivo/InitializationString.h"

#include <stdexcept>

#include <glog/logging.h>

#include "QorException/CallStack.h"
#include "QorHash/Sha1.h"

namespace Nolvar::Tracking::Instant {

namespace {

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto at = text.find(separator);
        pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return pieces;
        text.remove_prefix(at + 1);
    }
}

std::string Sanitized(const std::string& key, std::string text) {
    if (text.find_first_of("#=") == std::string::npos) return text;
    LOG(WARNING) << "Statistics parameter " << key << " holds \"#\" or \"=\", replaced by \"_\"";
    for (char& c : text) {
        if (c == '#' || c == '=') c = '_';
    }
    return text;
}

} // namespace

std::string MakeInitializationString(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string text;
    for (const auto& [key, value] : pairs) text += "#" + Sanitized(key, key) + "=" + Sanitized(key, value);
    return text;
}

std::map<std::string, std::string> ParseInitializationString(std::string_view text) {
    std::map<std::string, std::string> defaults = {
        {"PRODUCT_KEY", ""}, {"PRODUCT_NAME", ""}, {"PRODUCT_VENDOR", ""}, {"PRODUCT_PACKAGE", ""}, {"BUILD_NAME", ""}};
    for (std::string_view part : Split(text, '#')) {
        if (part.empty()) continue;
        const auto pieces = Split(part, '=');
        if (pieces.size() != 2) {
            throw std::invalid_argument("Initialization string must contain Key-value parameters\n" + Core::GetCallStack());
        }
        defaults[std::string(pieces[0])] = std::string(pieces[1]);
    }
    if (defaults["PRODUCT_PACKAGE"].empty()) defaults["PRODUCT_PACKAGE"] = "DEFAULT";
    if (defaults["BUILD_NAME"].empty()) defaults["BUILD_NAME"] = defaults["PRODUCT_NAME"];
    const auto userId = defaults.find("USER_ID");
    if (userId == defaults.end()) throw std::logic_error("USER_ID parameter is required\n" + Core::GetCallStack());
    defaults["HUID"] = Util::SHA1(userId->second);
    if (const auto userIdV2 = defaults.find("USER_ID_V2"); userIdV2 != defaults.end()) {
        defaults["HUID_V2"] = Util::SHA1(userIdV2->second);
    }
    return defaults;
}

} // namespace Nolvar::Tracking::Instant
