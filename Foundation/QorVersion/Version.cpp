#include "QorVersion/Version.h"

#include <charconv>
#include <stdexcept>
#include <vector>

namespace Nolvar::Core::Util {

std::string VersionToString(const Version& version, int minParts, std::string_view separator) {
    const std::uint32_t parts[4] = {version.major, version.minor, version.build, version.revision};
    int count = 4;
    const int floor = minParts > 0 ? std::min(minParts, 4) : 2;
    while (count > floor && parts[count - 1] == 0) --count;
    std::string text;
    for (int i = 0; i < count; ++i) {
        if (i) text += separator;
        text += std::to_string(parts[i]);
    }
    return text;
}

Version VersionFromString(std::string_view text, std::string_view separator) {
    if (text.empty() || separator.empty()) throw std::invalid_argument("empty version text");
    std::vector<std::uint32_t> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        const std::string_view piece = text.substr(start, end == std::string_view::npos ? text.npos : end - start);
        std::uint32_t value = 0;
        auto [ptr, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || ptr != piece.data() + piece.size())
            throw std::invalid_argument("bad version text: " + std::string(text));
        parts.push_back(value);
        if (parts.size() > 4) throw std::invalid_argument("too many version parts: " + std::string(text));
        if (end == std::string_view::npos) break;
        start = end + separator.size();
    }
    parts.resize(4, 0);
    return Version{parts[0], parts[1], parts[2], parts[3]};
}

} // namespace Nolvar::Core::Util
