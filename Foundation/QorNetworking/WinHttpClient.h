#pragma once
// The HTTP client over WinHTTP in asynchronous mode: the calling thread drives each request and waits for
// WinHTTP's completions in short slices, so the stop predicate and the time limits are checked even while the
// server sends nothing. Callbacks of the options run on the calling thread only. Requests of one client share
// its WinHTTP sessions (and so their open connections); any thread may use the client.
#include <memory>

#include "QorNetworking/IHttpClient.h"

namespace Nolvar::Networking::Detail {

class WinHttpSessions;

class WinHttpClient final : public IHttpClient {
public:
    WinHttpClient();
    ~WinHttpClient() override;

    void get(Response& response, const Request& request, const Options& options) override;
    void head(Response& response, const Request& request, const Options& options) override;
    void put(Response& response, const Request& request, const std::string& body, const Options& options) override;
    void post(Response& response, const Request& request, const std::string& body, const Options& options) override;

private:
    std::unique_ptr<WinHttpSessions> m_sessions;
};

} // namespace Nolvar::Networking::Detail
