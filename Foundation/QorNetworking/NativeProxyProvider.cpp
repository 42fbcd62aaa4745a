#include "QorNetworking/NativeProxyProvider.h"

#include <windows.h>
#include <winhttp.h>

#include <glog/logging.h>

#include <memory>
#include <string>

#include "QorNetworking/AutoProxyLookup.h"
#include "QorNetworking/ProxyList.h"
#include "QorNetworking/WinHttpHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Networking {
std::string ProxyToString(const IProxyProvider::Proxy& proxy) {
    const char* scheme = nullptr;
    switch (proxy.type) {
    case IProxyProvider::Proxy::Http: scheme = "http"; break;
    case IProxyProvider::Proxy::Https: scheme = "https"; break;
    case IProxyProvider::Proxy::Socks4: scheme = "socks4"; break;
    case IProxyProvider::Proxy::Socks5: scheme = "socks5"; break;
    default: return {};
    }
    return std::string(scheme) + "://" + proxy.host + ":" + std::to_string(proxy.port);
}

struct NativeProxyProvider::Impl {
    Impl(std::chrono::milliseconds limit, std::chrono::milliseconds reuse) : lookup(limit, reuse) {}
    Detail::AutoProxyLookup lookup;
};

NativeProxyProvider::NativeProxyProvider()
    : NativeProxyProvider(Detail::AutoProxyLookup::kLimit, Detail::AutoProxyLookup::kReuse) {}

NativeProxyProvider::NativeProxyProvider(std::chrono::milliseconds lookupLimit, std::chrono::milliseconds reuse)
    : m_impl(std::make_unique<Impl>(lookupLimit, reuse)) {}

NativeProxyProvider::~NativeProxyProvider() = default;

IProxyProvider::Proxy NativeProxyProvider::getProxy(const std::string& url) { return getProxy(url, {}); }

IProxyProvider::Proxy NativeProxyProvider::getProxy(const std::string& url, const std::function<bool()>& stop) {
    Url parsed(url, Url::ParsingMode::Lenient);
    if (!parsed.isValid() || Detail::IsLoopbackHost(parsed.host())) return {};

    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&settings)) return {};
    const UniqueGlobalText autoConfigUrl{settings.lpszAutoConfigUrl}, proxyList{settings.lpszProxy},
        bypassList{settings.lpszProxyBypass};

    if (settings.fAutoDetect || autoConfigUrl) {
        Detail::AutoProxyLookup::Query query{parsed.toString(),
                                             parsed.scheme() + "://" + parsed.host() + ":" + std::to_string(parsed.port()),
                                             Utf8(autoConfigUrl), settings.fAutoDetect != FALSE};
        if (auto answer = m_impl->lookup.find(query, stop)) {
            if (answer->proxyList.empty()) return {};
            return Detail::SelectProxy(answer->proxyList, answer->bypassList, parsed);
        }
    }
    if (!proxyList) return {};
    return Detail::SelectProxy(Utf8(proxyList), Utf8(bypassList), parsed);
}

} // namespace Nolvar::Networking
