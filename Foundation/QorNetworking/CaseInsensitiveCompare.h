#pragma once
// Header names compare without regard to letter case (ASCII folding, independent of the C locale).
#include <algorithm>
#include <map>
#include <string>
#include <string_view>

namespace Nolvar::Networking {

struct CaseInsensitiveCompare {
    using is_transparent = void;

    static char fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

    bool operator()(std::string_view a, std::string_view b) const {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return fold(x) < fold(y); });
    }
};

// ASCII lower case, independent of the C locale (schemes, host names, proxy entries).
inline std::string AsciiLower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Header name to value; one entry per name.
using Headers = std::map<std::string, std::string, CaseInsensitiveCompare>;

} // namespace Nolvar::Networking
