#pragma once
// A blocking HTTP client: each call performs one request (following redirects) on the calling thread and
// fills the response; failures are reported in Response::error, never thrown.
#include <string>

#include "QorNetworking/Options.h"
#include "QorNetworking/Request.h"
#include "QorNetworking/Response.h"

namespace Nolvar::Networking {

class IHttpClient {
public:
    virtual ~IHttpClient() = default;
    virtual void get(Response& response, const Request& request, const Options& options) = 0;
    virtual void head(Response& response, const Request& request, const Options& options) = 0;
    virtual void put(Response& response, const Request& request, const std::string& body, const Options& options) = 0;
    virtual void post(Response& response, const Request& request, const std::string& body, const Options& options) = 0;
};

} // namespace Nolvar::Networking
