#pragma once
// Making clients and wrapping them in adapters.
#include <cstdint>
#include <memory>

#include "QorNetworking/CaseInsensitiveCompare.h"
#include "QorNetworking/HttpVersion.h"
#include "QorNetworking/IHttpClient.h"

namespace Nolvar::Networking {

class IProxyProvider;

enum class HttpClientType : std::int32_t { WinHttp = 0 };

// Throws std::invalid_argument for an unknown type.
std::unique_ptr<IHttpClient> createHttpClient(HttpClientType type = HttpClientType::WinHttp);

// Requests without a proxy in their options go through the user's system proxy for their URL.
std::unique_ptr<IHttpClient> addSystemProxyAdapter(std::shared_ptr<IHttpClient> client);
// Same, with the given provider (the system proxy provider above).
std::unique_ptr<IHttpClient> addProxyAdapter(std::shared_ptr<IHttpClient> client,
                                             std::shared_ptr<IProxyProvider> provider);
// Adds these headers to every request that does not carry them already.
std::unique_ptr<IHttpClient> addAdapterWithHeader(std::shared_ptr<IHttpClient> client, Headers headers);
// Requests whose options ask for HttpVersion::Default use this version.
std::unique_ptr<IHttpClient> addHttpVersionAdapter(std::shared_ptr<IHttpClient> client, HttpVersion version);

} // namespace Nolvar::Networking
