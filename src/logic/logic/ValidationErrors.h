#pragma once
// What the configuration checks found.
#include <string>
#include <unordered_map>
#include <vector>

namespace Nolvar {

enum class ValidationErrors : int {
    MissingSection = 1, // "data" or a required section is missing
    MissingItem = 2,    // a required key of a required section has no value
    ConfigChanged = 3,  // the downloaded configuration differs from the built-in one (or that one is unusable)
};

struct ValidationErrorInfo {
    std::string sectionName;
    std::vector<std::string> keys;
};

using ValidationErrorMap = std::unordered_map<ValidationErrors, ValidationErrorInfo>;

} // namespace Nolvar
