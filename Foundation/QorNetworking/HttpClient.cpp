#include "QorNetworking/HttpClient.h"

#include <stdexcept>
#include <string>

#include "QorNetworking/NativeProxyProvider.h"
#include "QorNetworking/WinHttpClient.h"

namespace Nolvar::Networking {
namespace {

// Passes every call to the wrapped client after adjusting the request and the options.
class Adapter : public IHttpClient {
public:
    explicit Adapter(std::shared_ptr<IHttpClient> inner) : m_inner(std::move(inner)) {
        if (!m_inner) throw std::invalid_argument("an adapter needs a client to wrap");
    }

    void get(Response& response, const Request& request, const Options& options) override {
        Request r = request;
        Options o = options;
        adjust(r, o);
        m_inner->get(response, r, o);
    }
    void head(Response& response, const Request& request, const Options& options) override {
        Request r = request;
        Options o = options;
        adjust(r, o);
        m_inner->head(response, r, o);
    }
    void put(Response& response, const Request& request, const std::string& body, const Options& options) override {
        Request r = request;
        Options o = options;
        adjust(r, o);
        m_inner->put(response, r, body, o);
    }
    void post(Response& response, const Request& request, const std::string& body, const Options& options) override {
        Request r = request;
        Options o = options;
        adjust(r, o);
        m_inner->post(response, r, body, o);
    }

protected:
    virtual void adjust(Request& request, Options& options) = 0;

private:
    std::shared_ptr<IHttpClient> m_inner;
};

class ProxyAdapter final : public Adapter {
public:
    ProxyAdapter(std::shared_ptr<IHttpClient> inner, std::shared_ptr<IProxyProvider> provider)
        : Adapter(std::move(inner)), m_provider(std::move(provider)) {}

private:
    void adjust(Request& request, Options& options) override {
        if (options.proxy.empty() && m_provider) options.proxy = ProxyToString(m_provider->getProxy(request.url.toString(), options.stop));
    }
    std::shared_ptr<IProxyProvider> m_provider;
};

class HeaderAdapter final : public Adapter {
public:
    HeaderAdapter(std::shared_ptr<IHttpClient> inner, Headers headers)
        : Adapter(std::move(inner)), m_headers(std::move(headers)) {}

private:
    void adjust(Request& request, Options&) override {
        for (const auto& header : m_headers) request.headers.insert(header);
    }
    Headers m_headers;
};

class HttpVersionAdapter final : public Adapter {
public:
    HttpVersionAdapter(std::shared_ptr<IHttpClient> inner, HttpVersion version)
        : Adapter(std::move(inner)), m_version(version) {}

private:
    void adjust(Request&, Options& options) override {
        if (options.httpVersion == HttpVersion::Default) options.httpVersion = m_version;
    }
    HttpVersion m_version;
};

} // namespace

std::unique_ptr<IHttpClient> createHttpClient(HttpClientType type) {
    switch (type) {
    case HttpClientType::WinHttp: return std::make_unique<Detail::WinHttpClient>();
    }
    throw std::invalid_argument("unknown HTTP client type " + std::to_string(static_cast<int>(type)));
}

std::unique_ptr<IHttpClient> addSystemProxyAdapter(std::shared_ptr<IHttpClient> client) {
    return addProxyAdapter(std::move(client), std::make_shared<NativeProxyProvider>());
}

std::unique_ptr<IHttpClient> addProxyAdapter(std::shared_ptr<IHttpClient> client,
                                             std::shared_ptr<IProxyProvider> provider) {
    return std::make_unique<ProxyAdapter>(std::move(client), std::move(provider));
}

std::unique_ptr<IHttpClient> addAdapterWithHeader(std::shared_ptr<IHttpClient> client, Headers headers) {
    return std::make_unique<HeaderAdapter>(std::move(client), std::move(headers));
}

std::unique_ptr<IHttpClient> addHttpVersionAdapter(std::shared_ptr<IHttpClient> client, HttpVersion version) {
    return std::make_unique<HttpVersionAdapter>(std::move(client), version);
}

} // namespace Nolvar::Networking
