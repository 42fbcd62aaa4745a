#pragma once
// Reading and checking the configuration document.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "logic/logic/ValidationErrors.h"

namespace Nolvar::Config {

// Deepest nesting of arrays and objects a document may have; the configuration needs six.
inline constexpr std::size_t kMaxDepth = 64;

// Parses `text`; nothing (and a logged error) unless it is a non-empty JSON object nested at most kMaxDepth deep.
std::optional<nlohmann::json> ParseDocument(const std::string& text);

// A non-empty object holding "DefaultValue" (logs why not).
bool IsValidConfigItem(const nlohmann::json& item);
// The non-empty "DefaultValue" text of `section[key]`, or nothing.
std::optional<std::string> GetDefaultValue(const nlohmann::json& section, const std::string& key);

// Decimal text as std::stoi reads it; `fallback` (and a logged error) when it has no number or is out of range.
int ToInt(const std::string& text, int fallback);
// Split at every single space: adjacent, leading and trailing spaces give empty arguments.
std::vector<std::string> SplitArguments(const std::string& text);

// Every value the parser reads has the JSON type it is read as: "configname" and each read "DefaultValue" are
// strings, "Testing" is an object. Logs the first that is not.
bool CheckTypes(const nlohmann::json& document);
// Required sections and keys; records the first failure in `errors`.
bool CheckRequiredKeys(const nlohmann::json& document, ValidationErrorMap& errors);
// Each installer URL is a URL of an ".exe".
bool CheckInstallerUrls(const nlohmann::json& document);
// Records ConfigChanged when `document`'s "data" lacks or changes a value of `builtIn`'s "data" (a null or
// unusable `builtIn` counts as changed).
void CompareWithDefault(const nlohmann::json& document, const nlohmann::json& builtIn, ValidationErrorMap& errors);

} // namespace Nolvar::Config
