#include "QorNetworking/ProxyText.h"

#include "QorNetworking/CaseInsensitiveCompare.h"

namespace Nolvar::Networking::Detail {
std::optional<ProxyText> ParseProxyText(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '/')) text.remove_suffix(1);
    ProxyText result;
    if (text.empty()) return result;
    result.kind = ProxyText::Kind::Http;
    std::uint16_t defaultPort = 80;
    if (auto sep = text.find("://"); sep != std::string_view::npos) {
        std::string scheme = AsciiLower(text.substr(0, sep));
        if (scheme == "socks" || scheme == "socks4" || scheme == "socks4a" || scheme == "socks5" ||
            scheme == "socks5h") {
            result.kind = ProxyText::Kind::Socks;
            defaultPort = 1080;
        } else if (scheme != "http" && scheme != "https") {
            return std::nullopt;
        }
        text.remove_prefix(sep + 3);
    }
    std::string_view host = text;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        auto close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = text.substr(0, close + 1);
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (auto colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (host.empty() || host.find_first_of("/@ ") != std::string_view::npos) return std::nullopt;
    result.host = std::string(host);
    if (port.empty()) {
        result.port = defaultPort;
        return result;
    }
    unsigned value = 0;
    for (char c : port) {
        if (c < '0' || c > '9' || port.size() > 5) return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535) return std::nullopt;
    result.port = static_cast<std::uint16_t>(value);
    return result;
}

} // namespace Nolvar::Networking::Detail
