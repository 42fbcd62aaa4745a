#pragma once
// Choosing a proxy from Windows' proxy list and bypass list texts (Internet settings or an auto-proxy answer).
#include <string_view>

#include "QorNetworking/IProxyProvider.h"
#include "QorNetworking/Url.h"

namespace Nolvar::Networking::Detail {

// proxyList: entries such as "host:port", "http=host:port;https=host:port;socks=host:port" or
// "socks5://host:port", separated by ";" or blanks. bypassList: host patterns with "*", and "<local>" for host
// names without a dot. Loopback hosts always go direct.
// localhost, 127.x.x.x and ::1.
bool IsLoopbackHost(std::string_view host);

IProxyProvider::Proxy SelectProxy(std::string_view proxyList, std::string_view bypassList, const Url& url);

} // namespace Nolvar::Networking::Detail
