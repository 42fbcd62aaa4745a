#pragma once
// One call of the WinHTTP client: its session, redirects, time limits, cancellation, body delivery and metrics.
// The WinHTTP calls themselves go through WinHttpApi.h.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "QorNetworking/Error.h"
#include "QorNetworking/Options.h"
#include "QorNetworking/Request.h"
#include "QorNetworking/RequestLimits.h"
#include "QorNetworking/Response.h"
#include "QorNetworking/WinHttpErrors.h"
#include "QorNetworking/WinHttpHandle.h"
#include "QorNetworking/WinHttpHop.h"
#include "QorNetworking/WinHttpSessions.h"

namespace Nolvar::Networking::Detail {

class WinHttpRequest {
public:
    // Performs `method` on a session of `sessions` and fills `response` (reset first) with its answer, error and
    // metrics.
    static void Perform(WinHttpSessions& sessions, const char* method, Response& response, const Request& request,
                        std::string body, const Options& options);

private:
    WinHttpRequest(const Options& options, Response& response);

    void perform(WinHttpSessions& sessions, std::string method, const Request& request, std::string body);
    WinHttpSessions::Session openSession(WinHttpSessions& sessions, const Request& request, const Url& url);
    // Runs one request handle; returns the URL to go to next when the answer is a redirect to follow.
    std::optional<Url> hop(HINTERNET session, const Url& url, const std::string& method, const std::wstring& headers,
                           const std::string& body);
    void applyRequestOptions(HINTERNET request, bool secure);
    bool sendAndAwaitHeaders(WinHttpHop& hop, const std::wstring& headers);
    bool takeAnswerHeaders(WinHttpHop& hop, const Url& url);
    std::optional<std::string> redirectLocation() const;
    // Where a redirect from `url` to `location` leads; nullopt (with the error set) when it cannot be followed or
    // would take an HTTPS request to plain HTTP.
    std::optional<Url> redirectTarget(const Url& url, const std::string& location);
    void readBody(WinHttpHop& hop);
    void deliver(std::string_view chunk, std::uint64_t total);
    bool await(WinHttpHop& hop, RequestPhase phase);
    std::optional<Exchange::Wait> check();
    void endEarly(Exchange::Wait why);
    void fail(std::int32_t code, std::string message);
    void failWinHttp(DWORD error, RequestPhase phase, DWORD secureFailureFlags = 0);
    void finish();

    const Options& m_options;
    Response& m_response;
    Clock::time_point m_started;
    RequestLimits m_limits;
    std::uint64_t m_received = 0;
    Clock::duration m_connectTime{};
    std::int32_t m_redirects = 0;
    bool m_viaProxy = false;
    Exchange* m_current = nullptr;  // of the hop running now
};

} // namespace Nolvar::Networking::Detail
