#pragma once
// The user's system proxy settings: automatic detection and configuration scripts (through WinHTTP's auto-proxy),
// then the manual proxy list with its bypass list.
#include <memory>

#include "QorNetworking/IProxyProvider.h"

namespace Nolvar::Networking {

class NativeProxyProvider : public IProxyProvider {
public:
    NativeProxyProvider();
    ~NativeProxyProvider() override;
    Proxy getProxy(const std::string& url) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::Networking
