#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace Nolvar::Networking {

class IProxyProvider {
public:
    struct Proxy {
        enum Type : std::int32_t { None = 0, Http = 1, Https = 2, Socks4 = 3, Socks5 = 4 };
        std::int32_t type = None;
        std::string host;
        std::int32_t port = 0;

        friend bool operator==(const Proxy&, const Proxy&) = default;
    };

    virtual ~IProxyProvider() = default;
    // The proxy to use for this URL; type None for a direct connection.
    virtual Proxy getProxy(const std::string& url) = 0;
    // The same for a request that polls `stop`: a lookup that may take long ends once it turns true.
    virtual Proxy getProxy(const std::string& url, const std::function<bool()>& stop) {
        (void)stop;
        return getProxy(url);
    }
};

// "scheme://host:port" for an http, https, socks4 or socks5 proxy; empty for none.
std::string ProxyToString(const IProxyProvider::Proxy& proxy);

} // namespace Nolvar::Networking
