#pragma once
// The HTTP client over WinHTTP in asynchronous mode: the calling thread drives each request and waits for
// WinHTTP's completions in short slices, so the stop predicate and the time limits are checked even while the
// server sends nothing. Callbacks of the options run on the calling thread only.
#include "QorNetworking/IHttpClient.h"

namespace Nolvar::Networking::Detail {

class WinHttpClient final : public IHttpClient {
public:
    void get(Response& response, const Request& request, const Options& options) override;
    void head(Response& response, const Request& request, const Options& options) override;
    void put(Response& response, const Request& request, const std::string& body, const Options& options) override;
    void post(Response& response, const Request& request, const std::string& body, const Options& options) override;
};

} // namespace Nolvar::Networking::Detail
