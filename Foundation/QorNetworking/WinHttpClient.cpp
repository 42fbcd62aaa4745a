#include "QorNetworking/WinHttpClient.h"

#include "QorNetworking/WinHttpRequest.h"

namespace Nolvar::Networking::Detail {

void WinHttpClient::get(Response& response, const Request& request, const Options& options) {
    WinHttpRequest::Perform("GET", response, request, {}, options);
}

void WinHttpClient::head(Response& response, const Request& request, const Options& options) {
    WinHttpRequest::Perform("HEAD", response, request, {}, options);
}

void WinHttpClient::put(Response& response, const Request& request, const std::string& body, const Options& options) {
    WinHttpRequest::Perform("PUT", response, request, body, options);
}

void WinHttpClient::post(Response& response, const Request& request, const std::string& body, const Options& options) {
    WinHttpRequest::Perform("POST", response, request, body, options);
}

} // namespace Nolvar::Networking::Detail
