#include "QorNetworking/ProxyList.h"

#include "QorNetworking/CaseInsensitiveCompare.h"

#include <string>
#include <vector>

namespace Nolvar::Networking::Detail {
namespace {

std::vector<std::string_view> Split(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    auto isSeparator = [](char c) { return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i])) ++i;
        std::size_t start = i;
        while (i < text.size() && !isSeparator(text[i])) ++i;
        if (i > start) parts.push_back(text.substr(start, i - start));
    }
    return parts;
}

bool WildcardMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == text[t] || pattern[p] == '?')) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool Bypassed(std::string_view bypassList, const Url& url) {
    const std::string host = AsciiLower(url.host());
    if (IsLoopbackHost(host)) return true;
    for (auto entry : Split(bypassList)) {
        std::string pattern = AsciiLower(entry);
        if (pattern == "<local>") {
            if (host.find('.') == std::string::npos && host.find(':') == std::string::npos) return true;
            continue;
        }
        if (auto sep = pattern.find("://"); sep != std::string::npos) {
            if (pattern.substr(0, sep) != url.scheme()) continue;
            pattern = pattern.substr(sep + 3);
        }
        if (auto colon = pattern.rfind(':'); colon != std::string::npos && pattern.find(']') == std::string::npos &&
                                             pattern.find(':') == colon) {
            if (pattern.substr(colon + 1) != std::to_string(url.port())) continue;
            pattern.resize(colon);
        }
        if (WildcardMatch(pattern, host)) return true;
    }
    return false;
}

IProxyProvider::Proxy ParseEntry(std::string_view key, std::string_view value) {
    IProxyProvider::Proxy proxy;
    std::int32_t type = key == "socks" ? IProxyProvider::Proxy::Socks4 : IProxyProvider::Proxy::Http;
    if (auto sep = value.find("://"); sep != std::string_view::npos) {
        std::string scheme = AsciiLower(value.substr(0, sep));
        if (scheme == "http") type = IProxyProvider::Proxy::Http;
        else if (scheme == "https") type = IProxyProvider::Proxy::Https;
        else if (scheme == "socks4" || scheme == "socks" || scheme == "socks4a") type = IProxyProvider::Proxy::Socks4;
        else if (scheme == "socks5" || scheme == "socks5h") type = IProxyProvider::Proxy::Socks5;
        else return proxy;
        value.remove_prefix(sep + 3);
    }
    while (!value.empty() && value.back() == '/') value.remove_suffix(1);
    std::string_view host = value;
    int port = type == IProxyProvider::Proxy::Socks4 || type == IProxyProvider::Proxy::Socks5 ? 1080 : 80;
    if (auto colon = value.rfind(':'); colon != std::string_view::npos && value.find(']', colon) == std::string_view::npos) {
        host = value.substr(0, colon);
        int parsed = 0;
        for (char c : value.substr(colon + 1)) {
            if (c < '0' || c > '9') return proxy;
            parsed = parsed * 10 + (c - '0');
            if (parsed > 65535) return proxy;
        }
        if (parsed == 0) return proxy;
        port = parsed;
    }
    if (host.empty()) return proxy;
    proxy.type = type;
    proxy.host = std::string(host);
    proxy.port = port;
    return proxy;
}

} // namespace

bool IsLoopbackHost(std::string_view host) {
    std::string lower = AsciiLower(host);
    return lower == "localhost" || lower.rfind("127.", 0) == 0 || lower == "::1";
}

IProxyProvider::Proxy SelectProxy(std::string_view proxyList, std::string_view bypassList, const Url& url) {
    if (!url.isValid() || Bypassed(bypassList, url)) return {};
    const std::string scheme = url.scheme();
    std::string_view forScheme, general, socks;
    for (auto entry : Split(proxyList)) {
        auto equals = entry.find('=');
        if (equals == std::string_view::npos) {
            if (general.empty()) general = entry;
            continue;
        }
        std::string key = AsciiLower(entry.substr(0, equals));
        std::string_view value = entry.substr(equals + 1);
        if (key == scheme && forScheme.empty()) forScheme = value;
        if (key == "socks" && socks.empty()) socks = value;
    }
    if (!forScheme.empty()) return ParseEntry(scheme, forScheme);
    if (!general.empty()) return ParseEntry("", general);
    if (!socks.empty()) return ParseEntry("socks", socks);
    return {};
}

} // namespace Nolvar::Networking::Detail
