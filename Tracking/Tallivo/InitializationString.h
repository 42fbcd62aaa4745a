#pragma once
// The tracker's initialization string: default parameters of every event as "#KEY=VALUE" parts.
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// The string of these pairs. "#" and "=" inside a key or value would break the string (and switch statistics
// off): they become "_", with a WARNING naming the key.
TALLIVO_API std::string MakeInitializationString(const std::vector<std::pair<std::string, std::string>>& pairs);

// The defaults map of a string: the known keys filled in, "HUID" (and "HUID_V2") derived from the user ids.
// Throws std::invalid_argument for a part that is not one KEY=VALUE pair and std::logic_error without "USER_ID".
TALLIVO_API std::map<std::string, std::string> ParseInitializationString(std::string_view text);

} // namespace Nolvar::Tracking::Instant
