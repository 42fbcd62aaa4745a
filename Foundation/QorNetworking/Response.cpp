#include "QorNetworking/Response.h"

#include <array>
#include <cctype>
#include <vector>

namespace Nolvar::Networking {
namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool ReadNumber(std::string_view text, int& out) {
    if (text.empty() || text.size() > 4) return false;
    out = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

int MonthOf(std::string_view token) {
    static const std::array<const char*, 12> names = {"jan", "feb", "mar", "apr", "may", "jun",
                                                      "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() != 3) return 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        bool same = true;
        for (std::size_t k = 0; k < 3; ++k)
            same = same && std::tolower(static_cast<unsigned char>(token[k])) == names[i][k];
        if (same) return static_cast<int>(i) + 1;
    }
    return 0;
}

} // namespace

std::optional<std::int64_t> ParseHttpDate(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '-'; };
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        std::size_t start = i;
        while (i < text.size() && !isSeparator(text[i])) ++i;
        if (i > start) tokens.push_back(text.substr(start, i - start));
    }
    int month = 0, hour = -1, minute = -1, second = -1;
    std::vector<int> numbers;
    std::vector<std::size_t> numberLengths;
    for (auto token : tokens) {
        int value = 0;
        if (int m = MonthOf(token); m && !month) {
            month = m;
        } else if (token.size() == 8 && token[2] == ':' && token[5] == ':') {
            if (!ReadNumber(token.substr(0, 2), hour) || !ReadNumber(token.substr(3, 2), minute) ||
                !ReadNumber(token.substr(6, 2), second))
                return std::nullopt;
        } else if (ReadNumber(token, value)) {
            numbers.push_back(value);
            numberLengths.push_back(token.size());
        }
    }
    if (!month || hour < 0 || numbers.size() != 2) return std::nullopt;
    int day = numbers[0], year = numbers[1];
    if (numberLengths[1] == 2) year += year >= 70 ? 1900 : 2000;
    else if (numberLengths[1] != 4) return std::nullopt;
    if (day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600 +
           minute * 60 + second;
}

std::int64_t Response::getLastModified() const {
    auto found = headers.find("Last-Modified");
    if (found == headers.end()) return 0;
    return ParseHttpDate(found->second).value_or(0);
}

} // namespace Nolvar::Networking
