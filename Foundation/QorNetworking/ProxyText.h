#pragma once
// Reading the proxy text of the options.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Nolvar::Networking::Detail {

struct ProxyText {
    enum class Kind { Direct, Http, Socks } kind = Kind::Direct;
    std::string host;
    std::uint16_t port = 0;
};

// "scheme://host:port" or "host:port" (an HTTP proxy); empty text is Direct. nullopt for anything unreadable.
std::optional<ProxyText> ParseProxyText(std::string_view text);

} // namespace Nolvar::Networking::Detail
