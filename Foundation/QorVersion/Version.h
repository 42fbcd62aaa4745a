#pragma once
// Version numbers and their text form.
#include <cstdint>
#include <string>
#include <string_view>

namespace Nolvar::Core {

struct Version {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t revision = 0;

    friend bool operator==(const Version&, const Version&) = default;
    friend auto operator<=>(const Version&, const Version&) = default;
};

namespace Util {

// Parts joined by `separator`. `minParts` 0 drops trailing zero parts but keeps at least major.minor
// ("2.0", "2.0.1"); 1 to 4 print at least that many parts.
std::string VersionToString(const Version& version, int minParts = 0, std::string_view separator = ".");

// Reads up to four decimal parts separated by `separator`; missing parts are 0. Throws std::invalid_argument
// for an empty text, a non-number part or more than four parts.
Version VersionFromString(std::string_view text, std::string_view separator = ".");

} // namespace Util
} // namespace Nolvar::Core
