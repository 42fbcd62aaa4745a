#include "QorNetworking/WinHttpClient.h"

#include "QorNetworking/WinHttpRequest.h"
#include "QorNetworking/WinHttpSessions.h"

namespace Nolvar::Networking::Detail {

WinHttpClient::WinHttpClient() : m_sessions(std::make_unique<WinHttpSessions>()) {}

WinHttpClient::~WinHttpClient() = default;

void WinHttpClient::get(Response& response, const Request& request, const Options& options) {
    WinHttpRequest::Perform(*m_sessions, "GET", response, request, {}, options);
}

void WinHttpClient::head(Response& response, const Request& request, const Options& options) {
    WinHttpRequest::Perform(*m_sessions, "HEAD", response, request, {}, options);
}

void WinHttpClient::put(Response& response, const Request& request, const std::string& body, const Options& options) {
    WinHttpRequest::Perform(*m_sessions, "PUT", response, request, body, options);
}

void WinHttpClient::post(Response& response, const Request& request, const std::string& body, const Options& options) {
    WinHttpRequest::Perform(*m_sessions, "POST", response, request, body, options);
}

} // namespace Nolvar::Networking::Detail
