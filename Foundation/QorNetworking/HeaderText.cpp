#include "QorNetworking/HeaderText.h"

#include <string_view>

namespace Nolvar::Networking::Detail {
namespace {

constexpr const char* kUserAgent = "User-Agent";

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return !CaseInsensitiveCompare{}(a, b) && !CaseInsensitiveCompare{}(b, a);
}

} // namespace

Response::HeadersBlock ParseRawHeaders(const std::string& raw) {
    Response::HeadersBlock block;
    std::size_t pos = 0;
    bool first = true;
    while (pos < raw.size()) {
        std::size_t end = raw.find("\r\n", pos);
        if (end == std::string::npos) end = raw.size();
        std::string line = raw.substr(pos, end - pos);
        pos = end + 2;
        if (first) {
            first = false;
            block.status = line;
            auto sp1 = line.find(' ');
            if (sp1 != std::string::npos) {
                auto sp2 = line.find(' ', sp1 + 1);
                block.code = line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
                if (sp2 != std::string::npos) block.reason = line.substr(sp2 + 1);
            }
            continue;
        }
        if (line.empty()) continue;
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::size_t valueStart = line.find_first_not_of(" \t", colon + 1);
        std::string value = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        auto [it, inserted] = block.headers.emplace(name, value);
        if (!inserted) it->second += ", " + value;
    }
    return block;
}

std::string CleanHeaderText(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return out;
}

std::string HeaderLines(const Headers& headers) {
    std::string lines;
    for (const auto& [name, value] : headers) {
        if (EqualsNoCase(name, kUserAgent)) continue;
        lines += CleanHeaderText(name) + ": " + CleanHeaderText(value) + "\r\n";
    }
    return lines;
}

std::string UserAgent(const Headers& headers) {
    auto agent = headers.find(kUserAgent);
    return agent == headers.end() ? std::string() : CleanHeaderText(agent->second);
}

} // namespace Nolvar::Networking::Detail
