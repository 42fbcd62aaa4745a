#include "logic/logic/ConfigFormat.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <glog/logging.h>

#include "utils/UrlUtils.h"

namespace Nolvar::Config {
namespace {

using json = nlohmann::json;

struct RequiredSection {
    const char* name;
    std::vector<const char*> keys;
};

const std::vector<RequiredSection> kRequired = {
    {"Product", {"version"}},
    {"Installers",
     {"id", "url", "install_order", "install_args", "search_installed_win_exe_name",
      "search_installed_win_uninstall_registry_key_name"}},
    {"Splash", {"start", "progress", "wait", "ready"}},
    {"Statistics", {"id", "url", "targetApplicationId"}},
};

// The keys the parser reads, per object section and per installer entry.
const std::vector<std::pair<const char*, std::vector<const char*>>> kReadKeys = {
    {"Product", {"version", "build_name", "module_name"}},
    {"MacSpecific", {"BUNDLE_NAME", "BUNDLE_VERSION", "INSTALLED_WITH_IPC_IDS", "PLATFORM_TYPE", "DISABLE_AUTOSTART"}},
    {"Splash", {"start", "progress", "wait", "ready"}},
    {"Statistics", {"url", "id", "targetApplicationId"}},
};

const std::vector<const char*> kInstallerKeys = {
    "id", "url", "install_order", "install_args", "suppress_desktop_shortcuts", "search_installed_win_exe_name",
    "search_installed_win_uninstall_registry_key_name", "display_name", "check_app_running", "autodetect_arch"};

// False when `section[key]` is an item whose "DefaultValue" is not a string.
bool DefaultValueIsText(const json& section, const char* key) {
    if (!section.is_object()) return true;
    const auto item = section.find(key);
    if (item == section.end() || !item->is_object()) return true;
    const auto value = item->find("DefaultValue");
    if (value == item->end() || value->is_string()) return true;
    LOG(ERROR) << "Invalid configuration item: DefaultValue of " << key << " is not a string";
    return false;
}

// The deepest nesting of arrays and objects in a JSON text (brackets inside strings do not count); stops
// counting past kMaxDepth. Syntax errors are left to the parser.
std::size_t NestingDepth(std::string_view text) {
    std::size_t depth = 0, deepest = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            deepest = std::max(deepest, ++depth);
            if (deepest > kMaxDepth) break;
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

bool Differs(const json& builtIn, const json& target) {
    for (const auto& [key, value] : builtIn.items()) {
        const auto found = target.is_object() ? target.find(key) : target.end();
        if (found == target.end()) {
            LOG(INFO) << "Couldn't find key: " << key << " in the target object!";
            return true;
        }
        if (value.is_object() && found->is_object()) {
            if (Differs(value, *found)) return true;
        } else if (value != *found) {
            LOG(INFO) << "Fields are different! Key:" << key;
            return true;
        }
    }
    return false;
}

} // namespace

std::optional<json> ParseDocument(const std::string& text) {
    if (NestingDepth(text) > kMaxDepth) {
        LOG(ERROR) << "Failed to parse json: nested deeper than " << kMaxDepth << " levels";
        return std::nullopt;
    }
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        LOG(ERROR) << "Failed to parse json: " << error.what();
        return std::nullopt;
    }
    if (!document.is_object() || document.empty()) {
        LOG(ERROR) << "Invalid or empty configuration item";
        return std::nullopt;
    }
    return document;
}

bool IsValidConfigItem(const json& item) {
    if (!item.is_object() || item.empty()) {
        LOG(ERROR) << "Invalid or empty configuration item";
        return false;
    }
    if (!item.contains("DefaultValue")) {
        LOG(ERROR) << "Invalid configuration item: DefaultValue is missing";
        return false;
    }
    return true;
}

std::optional<std::string> GetDefaultValue(const json& section, const std::string& key) {
    if (!section.is_object()) return std::nullopt;
    const auto item = section.find(key);
    if (item == section.end() || !IsValidConfigItem(*item)) return std::nullopt;
    const auto& value = (*item)["DefaultValue"];
    if (!value.is_string()) return std::nullopt; // rejected earlier by CheckTypes
    std::string text = value.get<std::string>();
    if (text.empty()) return std::nullopt;
    return text;
}

int ToInt(const std::string& text, int fallback) {
    try {
        return std::stoi(text);
    } catch (const std::invalid_argument&) {
        LOG(ERROR) << "Invalid conversion: " << text << " error: invalid stoi argument";
    } catch (const std::out_of_range&) {
        LOG(ERROR) << "Invalid conversion: " << text << " error: stoi argument out of range";
    }
    return fallback;
}

std::vector<std::string> SplitArguments(const std::string& text) {
    std::vector<std::string> arguments;
    std::size_t start = 0;
    for (;;) {
        const auto space = text.find(' ', start);
        arguments.push_back(text.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    return arguments;
}

bool CheckTypes(const json& document) {
    if (const auto name = document.find("configname"); name != document.end() && !name->is_string()) {
        LOG(ERROR) << "Invalid configuration: configname is not a string";
        return false;
    }
    const auto data = document.find("data");
    if (data == document.end() || !data->is_object()) return true; // the key check reports it
    for (const auto& [section, keys] : kReadKeys) {
        const auto found = data->find(section);
        if (found == data->end()) continue;
        for (const char* key : keys)
            if (!DefaultValueIsText(*found, key)) return false;
    }
    if (const auto installers = data->find("Installers"); installers != data->end() && installers->is_array()) {
        for (const auto& installer : *installers)
            for (const char* key : kInstallerKeys)
                if (!DefaultValueIsText(installer, key)) return false;
    }
    if (const auto testing = data->find("Testing"); testing != data->end() && !testing->is_object()) {
        LOG(ERROR) << "Invalid configuration: Testing is not an object";
        return false;
    }
    return true;
}

bool CheckRequiredKeys(const json& document, ValidationErrorMap& errors) {
    const auto data = document.find("data");
    if (data == document.end()) {
        errors[ValidationErrors::MissingSection] = {"", {"data"}};
        return false;
    }
    for (const auto& [name, keys] : kRequired) {
        const auto section = data->is_object() ? data->find(name) : data->end();
        if (section == data->end()) {
            errors[ValidationErrors::MissingSection] = {"", {name}};
            return false;
        }
        const bool isArraySection = std::string_view(name) == "Installers";
        for (const char* key : keys) {
            bool present = false;
            if (isArraySection) {
                // Anything but an array has no elements, so no element holds the key.
                if (section->is_array())
                    for (const auto& element : *section)
                        present = present || (element.is_object() && element.contains(key));
            } else {
                // A value of the wrong type is a type error: rejected without a recorded error.
                if (!DefaultValueIsText(*section, key)) return false;
                present = GetDefaultValue(*section, key).has_value();
            }
            if (!present) {
                errors[ValidationErrors::MissingItem] = {name, {key}};
                return false;
            }
        }
    }
    return true;
}

bool CheckInstallerUrls(const json& document) {
    for (const auto& installer : document.at("data").at("Installers")) {
        const std::string url = GetDefaultValue(installer, "url").value_or("");
        try {
            if (!ValidateUrlExtensionForKind(DownloadKind::ProductInstaller, url)) {
                LOG(ERROR) << "Invalid installer URL: " << url;
                return false;
            }
        } catch (const std::exception& error) {
            LOG(ERROR) << "Invalid installer URL: " << url << ": " << error.what();
            return false;
        }
    }
    return true;
}

void CompareWithDefault(const json& document, const json& builtIn, ValidationErrorMap& errors) {
    if (!builtIn.is_object() || builtIn.empty() || !builtIn.contains("data")) {
        LOG(ERROR) << "Invalid or empty configuration item";
        errors[ValidationErrors::ConfigChanged] = {};
        return;
    }
    // By reference: a downloaded document may be of any depth and is never copied.
    static const json kNoData = json::object();
    const auto data = document.find("data");
    if (Differs(builtIn["data"], data == document.end() ? kNoData : *data)) {
        LOG(INFO) << "Config objects are different";
        errors[ValidationErrors::ConfigChanged] = {};
    }
}

} // namespace Nolvar::Config
