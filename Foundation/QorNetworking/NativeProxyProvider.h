#pragma once
// The user's system proxy settings: automatic detection and configuration scripts (through WinHTTP's auto-proxy),
// then the manual proxy list with its bypass list. The automatic lookup is bounded in time and its answer is reused
// per host for a while (AutoProxyLookup).
#include <chrono>
#include <memory>

#include "QorNetworking/IProxyProvider.h"

namespace Nolvar::Networking {

class NativeProxyProvider : public IProxyProvider {
public:
    NativeProxyProvider();
    // `lookupLimit`: the longest wait for an automatic lookup; `reuse`: how long its answer serves one host.
    NativeProxyProvider(std::chrono::milliseconds lookupLimit, std::chrono::milliseconds reuse);
    ~NativeProxyProvider() override;
    Proxy getProxy(const std::string& url) override;
    Proxy getProxy(const std::string& url, const std::function<bool()>& stop) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::Networking
