#include "QorNetworking/NativeProxyProvider.h"

#include <windows.h>
#include <winhttp.h>

#include <glog/logging.h>

#include <memory>
#include <string>

#include "QorNetworking/ProxyList.h"
#include "QorString/Utf.h"

namespace Nolvar::Networking {
namespace {

struct GlobalText {
    LPWSTR text = nullptr;
    ~GlobalText() {
        if (text) GlobalFree(text);
    }
    std::string utf8() const { return text ? Core::Utf8FromWstring(text) : std::string(); }
};

} // namespace

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
    // A session of its own for WinHTTP's auto-proxy (configuration scripts and automatic detection).
    HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                    WINHTTP_NO_PROXY_BYPASS, 0);
    ~Impl() {
        if (session) WinHttpCloseHandle(session);
    }
};

NativeProxyProvider::NativeProxyProvider() : m_impl(std::make_unique<Impl>()) {}

NativeProxyProvider::~NativeProxyProvider() = default;

IProxyProvider::Proxy NativeProxyProvider::getProxy(const std::string& url) {
    Url parsed(url, Url::ParsingMode::Lenient);
    if (!parsed.isValid() || Detail::IsLoopbackHost(parsed.host())) return {};

    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG settings{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&settings)) return {};
    GlobalText autoConfigUrl{settings.lpszAutoConfigUrl}, proxyList{settings.lpszProxy},
        bypassList{settings.lpszProxyBypass};

    if ((settings.fAutoDetect || autoConfigUrl.text) && m_impl->session) {
        WINHTTP_AUTOPROXY_OPTIONS options{};
        if (autoConfigUrl.text) {
            options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
            options.lpszAutoConfigUrl = autoConfigUrl.text;
        }
        if (settings.fAutoDetect) {
            options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
            options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        }
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info{};
        std::wstring wideUrl = Core::WstringFromUtf8(parsed.toString());
        if (WinHttpGetProxyForUrl(m_impl->session, wideUrl.c_str(), &options, &info)) {
            GlobalText autoProxy{info.lpszProxy}, autoBypass{info.lpszProxyBypass};
            if (info.dwAccessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY || !autoProxy.text) return {};
            return Detail::SelectProxy(autoProxy.utf8(), autoBypass.utf8(), parsed);
        }
        VLOG(1) << "Automatic proxy lookup failed with WinHTTP error " << GetLastError()
                << "; using the manual proxy settings";
    }
    if (!proxyList.text) return {};
    return Detail::SelectProxy(proxyList.utf8(), bypassList.utf8(), parsed);
}

} // namespace Nolvar::Networking
