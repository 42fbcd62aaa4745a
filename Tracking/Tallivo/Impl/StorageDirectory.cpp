#include "Tracking/Tallivo/Impl/StorageDirectory.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>
#include <string_view>

namespace Nolvar::Tracking::Instant {

namespace {

bool IsReservedDeviceName(const std::string& name) {
    // The device names are reserved with any extension too ("NUL.txt").
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    std::transform(stem.begin(), stem.end(), stem.begin(), [](unsigned char c) { return std::toupper(c); });
    static constexpr std::array<std::string_view, 6> kNames = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kNames.begin(), kNames.end(), stem) != kNames.end()) return true;
    // COM1..COM9, LPT1..LPT9, also with the superscript digits ¹ ² ³ Windows treats alike.
    if (stem.size() < 4 || (stem.compare(0, 3, "COM") != 0 && stem.compare(0, 3, "LPT") != 0)) return false;
    const std::string digit = stem.substr(3);
    return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
           digit == "\xC2\xB3";
}

} // namespace

bool IsPlainPathComponent(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::string_view("<>:\"/\\|?*").find(static_cast<char>(c)) != std::string_view::npos) return false;
    }
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsReservedDeviceName(name);
}

ioPath MakeStorageDirectory(const ioPath& root, const std::string& vendor, const std::string& product) {
    if (!IsPlainPathComponent(vendor)) {
        throw std::invalid_argument("Statistics vendor name is not a plain folder name: \"" + vendor + "\"");
    }
    if (!IsPlainPathComponent(product)) {
        throw std::invalid_argument("Statistics product name is not a plain folder name: \"" + product + "\"");
    }
    return root / Core::PathFromUtf8(vendor) / Core::PathFromUtf8(product) / "EventsStorage";
}

} // namespace Nolvar::Tracking::Instant
