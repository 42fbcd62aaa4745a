#include "QorNetworking/WinHttpClient.h"

#include <windows.h>
#include <winhttp.h>

#include <glog/logging.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <chrono>
#include <memory>
#include <mutex>  // std::lock_guard
#include <optional>
#include <string>
#include <vector>

#include "QorNetworking/ProxyText.h"
#include "QorNetworking/WinHttpExchange.h"
#include "QorNetworking/WinHttpErrors.h"
#include "QorNetworking/WinHttpHandle.h"
#include "QorString/Utf.h"

#ifndef WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL
#define WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL 133
#endif
#ifndef WINHTTP_PROTOCOL_FLAG_HTTP2
#define WINHTTP_PROTOCOL_FLAG_HTTP2 0x1
#endif

namespace Nolvar::Networking::Detail {
namespace {

using namespace std::chrono_literals;

constexpr auto kStopCheckInterval = 100ms;
// How long a cancelled request waits for WinHTTP to let go of its handle before leaving it to WinHTTP.
constexpr auto kCloseWait = 300ms;
// Added to WinHTTP's send and receive time-outs so that the low-speed rule ends a stall first (milliseconds).
constexpr std::int64_t kStallBackstop = 10'000;

std::wstring Wide(const std::string& text) { return Core::WstringFromUtf8(text); }
std::string Narrow(const std::wstring& text) { return Core::Utf8FromWstring(text); }

// One request handle (one answer of a possibly redirected request) with its connection handle.
class Hop {
public:
    Hop(HINTERNET session, const Url& url, const std::wstring& method, const Options& options, std::string body,
        bool& ok, DWORD& error)
        : m_exchange(new Exchange(std::move(body))) {
        ok = false;
        m_connect.reset(WinHttpConnect(session, Wide(url.host()).c_str(), url.port(), 0));
        if (!m_connect) {
            error = GetLastError();
            m_exchange->forgetWinHttpReference();
            return;
        }
        DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | WINHTTP_FLAG_ESCAPE_DISABLE_QUERY;
        if (url.scheme() == "https") flags |= WINHTTP_FLAG_SECURE;
        const wchar_t* version = options.httpVersion == HttpVersion::Http1_0 ? L"HTTP/1.0" : nullptr;
        m_request.reset(WinHttpOpenRequest(m_connect.get(), method.c_str(), Wide(url.pathAndQuery()).c_str(), version,
                                           WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
        if (!m_request) {
            error = GetLastError();
            m_exchange->forgetWinHttpReference();
            return;
        }
        DWORD_PTR context = reinterpret_cast<DWORD_PTR>(m_exchange);
        if (!WinHttpSetOption(m_request.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context))) {
            error = GetLastError();
            m_request.reset();
            m_exchange->forgetWinHttpReference();
            return;
        }
        ok = true;
    }

    ~Hop() { close(5s); }

    Hop(const Hop&) = delete;
    Hop& operator=(const Hop&) = delete;

    // Closes the request handle; waits at most `limit` for WinHTTP to report it closed.
    void close(Clock::duration limit) {
        if (m_request) {
            m_exchange->stopIssuing();
            m_request.reset();
            m_exchange->waitClosed(limit);
        }
        if (m_exchange) {
            m_connectTime = m_exchange->connectTime();
            Exchange::Release(m_exchange);
            m_exchange = nullptr;
        }
        m_connect.reset();
    }

    HINTERNET handle() const { return m_request.get(); }
    Exchange& exchange() { return *m_exchange; }
    // Time spent connecting, known once the hop is closed.
    Clock::duration connectTime() const { return m_connectTime; }

private:
    Clock::duration m_connectTime{};
    UniqueInternetHandle m_connect;
    UniqueInternetHandle m_request;
    Exchange* m_exchange = nullptr;
};

Response::HeadersBlock ParseRawHeaders(const std::string& raw) {
    Response::HeadersBlock block;
    std::size_t pos = 0;
    bool first = true;
    while (pos < raw.size()) {
        std::size_t end = raw.find("\r\n", pos);
        if (end == std::string::npos) end = raw.size();
        std::string line = raw.substr(pos, end - pos);
        pos = end + 2;
        if (first) {
            first = false;
            block.status = line;
            auto sp1 = line.find(' ');
            if (sp1 != std::string::npos) {
                auto sp2 = line.find(' ', sp1 + 1);
                block.code = line.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
                if (sp2 != std::string::npos) block.reason = line.substr(sp2 + 1);
            }
            continue;
        }
        if (line.empty()) continue;
        auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        std::size_t valueStart = line.find_first_not_of(" \t", colon + 1);
        std::string value = valueStart == std::string::npos ? std::string() : line.substr(valueStart);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
        auto [it, inserted] = block.headers.emplace(name, value);
        if (!inserted) it->second += ", " + value;
    }
    return block;
}

std::string CleanHeaderText(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return !CaseInsensitiveCompare{}(a, b) && !CaseInsensitiveCompare{}(b, a);
}

bool IsRedirect(std::int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void SetOptionalOption(HINTERNET handle, DWORD option, DWORD value) {
    // Some options are unimplemented in some WinHTTP versions (Wine's); a request works without them.
    if (!WinHttpSetOption(handle, option, &value, sizeof(value)))
        VLOG(1) << "WinHTTP option " << option << " not applied, error " << GetLastError();
}

// Performs one call of the client: redirects, time limits, cancellation, body delivery and metrics.
class RequestRun {
public:
    RequestRun(const Options& options, Response& response) : m_options(options), m_response(response) {
        m_response = Response{};
        m_started = Clock::now();
        m_nextStopCheck = m_started;
        if (m_options.timeout > 0) m_deadline = m_started + std::chrono::microseconds(m_options.timeout);
    }

    void run(std::string method, const Request& request, std::string body) {
        perform(std::move(method), request, std::move(body));
        finish();
    }

private:
    void perform(std::string method, const Request& request, std::string body) {
        Url url = request.url;
        for (const auto& [name, value] : request.parameters) url.addParameter(name, value);
        if (!url.isValid()) return fail(Error::InvalidUrlFormat, "Invalid URL: " + url.toString());

        auto proxy = ParseProxyText(m_options.proxy);
        if (!proxy) return fail(Error::ProxyResolutionFailure, "Unusable proxy: " + m_options.proxy);
        if (proxy->kind == ProxyText::Kind::Socks) {
            LOG(WARNING) << "SOCKS proxy " << m_options.proxy
                         << " cannot be used by WinHTTP; connecting directly to " << url.host();
            proxy->kind = ProxyText::Kind::Direct;
        }
        m_viaProxy = proxy->kind == ProxyText::Kind::Http;

        std::string agent;
        if (auto ua = request.headers.find("User-Agent"); ua != request.headers.end()) agent = CleanHeaderText(ua->second);
        std::wstring proxyName = m_viaProxy ? Wide(proxy->host + ":" + std::to_string(proxy->port)) : std::wstring();
        UniqueInternetHandle session(WinHttpOpen(agent.empty() ? nullptr : Wide(agent).c_str(),
                                           m_viaProxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                                           m_viaProxy ? proxyName.c_str() : WINHTTP_NO_PROXY_NAME,
                                           m_viaProxy ? L"<-loopback>" : WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
        if (!session) return failWinHttp(GetLastError(), RequestPhase::Setup);
        if (WinHttpSetStatusCallback(session.get(), &Exchange::OnStatus, Exchange::kNotifications, 0) ==
            WINHTTP_INVALID_STATUS_CALLBACK)
            return failWinHttp(GetLastError(), RequestPhase::Setup);
        int connectMs = m_options.connectTimeout > 0 ? m_options.connectTimeout * 1000 : 60000;
        // With a low-speed rule of ours, that rule alone decides a stall: WinHTTP's own send and receive time-outs
        // are only a backstop behind it. The rule may need up to two of its windows to see a stall that began
        // in the middle of one.
        std::int64_t ioLimit = m_options.lowSpeedTime > 0 ? 2 * m_options.lowSpeedTime + kStallBackstop : 30000;
        int ioMs = static_cast<int>(std::min<std::int64_t>(ioLimit, INT_MAX));
        WinHttpSetTimeouts(session.get(), connectMs, connectMs, ioMs, ioMs);
        SetOptionalOption(session.get(), WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);

        std::string headerText;
        for (const auto& [name, value] : request.headers) {
            if (EqualsNoCase(name, "User-Agent")) continue;  // sent by the session
            headerText += CleanHeaderText(name) + ": " + CleanHeaderText(value) + "\r\n";
        }
        std::wstring headers = Wide(headerText);

        std::int32_t redirects = 0;
        for (;;) {
            std::optional<Url> next = hop(session.get(), url, method, headers, body);
            if (!next) break;
            if (++redirects > m_options.maxRedirects) {
                fail(Error::TooManyRedirects, "More than " + std::to_string(m_options.maxRedirects) + " redirects");
                break;
            }
            m_redirects = redirects;
            if (m_response.statusCode == 303 || ((m_response.statusCode == 301 || m_response.statusCode == 302) &&
                                                 method == "POST")) {
                if (method != "HEAD") method = "GET";
                body.clear();
            }
            url = *next;
        }
    }

    // Runs one request handle; returns the URL to go to next when the answer is a redirect to follow.
    std::optional<Url> hop(HINTERNET session, const Url& url, const std::string& method, const std::wstring& headers,
                           const std::string& body) {
        const std::string scheme = url.scheme();
        if (scheme != "http" && scheme != "https") {
            fail(Error::UnsupportedProtocol, "Unsupported protocol: " + scheme);
            return std::nullopt;
        }
        if (auto verdict = check()) {
            endEarly(*verdict);
            return std::nullopt;
        }
        bool ok = false;
        DWORD error = 0;
        Hop hop(session, url, Wide(method), m_options, body, ok, error);
        struct HopEnd {
            RequestRun& run;
            Hop& hop;
            ~HopEnd() {
                run.m_current = nullptr;
                hop.close(5s);
                run.m_connectTime += hop.connectTime();
            }
        };
        if (!ok) {
            failWinHttp(error, RequestPhase::Setup);
            return std::nullopt;
        }
        HopEnd hopEnd{*this, hop};
        Exchange& exchange = hop.exchange();
        HINTERNET request = hop.handle();

        DWORD disable = WINHTTP_DISABLE_REDIRECTS | (m_options.keepAlive ? 0 : WINHTTP_DISABLE_KEEP_ALIVE);
        SetOptionalOption(request, WINHTTP_OPTION_DISABLE_FEATURE, disable);
        if (scheme == "https") {
            DWORD security = 0;
            if (m_options.sslIgnoreCertificateErrors)
                security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                            SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
            if (m_options.sslIgnoreHostNameMismatch) security |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
            if (security) SetOptionalOption(request, WINHTTP_OPTION_SECURITY_FLAGS, security);
        }
        if (m_options.httpVersion == HttpVersion::Http2)
            SetOptionalOption(request, WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, WINHTTP_PROTOCOL_FLAG_HTTP2);

        // Send. Once connected, the answer must keep coming: the low-speed rule also covers the wait for it.
        m_current = &exchange;
        m_windowStart = Clock::now();
        m_windowBytes = m_received;
        std::string& sent = exchange.body();
        exchange.expectCompletion();
        if (!WinHttpSendRequest(request, headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                                headers.empty() ? 0 : static_cast<DWORD>(-1L),
                                sent.empty() ? WINHTTP_NO_REQUEST_DATA : sent.data(), static_cast<DWORD>(sent.size()),
                                static_cast<DWORD>(sent.size()), reinterpret_cast<DWORD_PTR>(&exchange))) {
            failWinHttp(GetLastError(), RequestPhase::Send, exchange.secureFailureFlags());
            return std::nullopt;
        }
        if (!await(hop, RequestPhase::Send)) return std::nullopt;

        // Headers.
        exchange.expectCompletion();
        if (!WinHttpReceiveResponse(request, nullptr)) {
            failWinHttp(GetLastError(), RequestPhase::ReceiveHeaders, exchange.secureFailureFlags());
            return std::nullopt;
        }
        if (!await(hop, RequestPhase::ReceiveHeaders)) return std::nullopt;

        DWORD status = 0, size = sizeof(status);
        WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                            &status, &size, WINHTTP_NO_HEADER_INDEX);
        Response::HeadersBlock block = ParseRawHeaders(rawHeaders(request));
        m_response.statusCode = static_cast<std::int32_t>(status);
        m_response.headers = block.headers;
        m_response.connectionMetrics[kMetricEffectiveUrl] = url.toString();
        m_response.headerBlocks.push_back(std::move(block));

        if (m_options.followRedirects && IsRedirect(m_response.statusCode)) {
            auto location = m_response.headers.find("Location");
            if (location != m_response.headers.end() && !location->second.empty()) {
                std::optional<Url> next = url.resolve(location->second);
                if (!next) fail(Error::InvalidUrlFormat, "Unusable redirect location: " + location->second);
                return next;
            }
        }
        if (method == "HEAD") return std::nullopt;
        readBody(hop);
        return std::nullopt;
    }

    void readBody(Hop& hop) {
        Exchange& exchange = hop.exchange();
        std::optional<std::uint64_t> total;
        if (auto length = m_response.headers.find("Content-Length"); length != m_response.headers.end()) {
            try {
                total = std::stoull(length->second);
            } catch (const std::exception&) {
            }
        }
        // WinHTTP's callbacks read as data arrives; this thread delivers each batch and keeps the limits.
        exchange.startPump(hop.handle());
        for (;;) {
            Exchange::Batch batch = exchange.takeBatch(kPollInterval);
            if (!batch.data.empty()) {
                m_received += batch.data.size();
                std::string_view chunk(batch.data.data(), batch.data.size());
                if (m_options.sink)
                    m_options.sink(chunk);
                else
                    m_response.body.append(chunk);
                if (m_options.progress) m_options.progress(m_received, total.value_or(0));
            }
            if (batch.error != 0) {
                failWinHttp(batch.error, RequestPhase::ReceiveBody, exchange.secureFailureFlags());
                return;
            }
            if (batch.ended) break;
            if (auto verdict = check()) {
                hop.close(kCloseWait);
                endEarly(*verdict);
                return;
            }
        }
        if (total && m_received < *total) {
            fail(Error::NetworkReceiveError, "Connection closed after " + std::to_string(m_received) + " of " +
                                                 std::to_string(*total) + " bytes");
            return;
        }
        if (m_options.progress) m_options.progress(m_received, m_received);
    }

    // Waits for the pending operation of the hop; false (with the error set) when it failed or was ended.
    bool await(Hop& hop, RequestPhase phase) {
        Exchange& exchange = hop.exchange();
        Exchange::Wait result = exchange.wait([this] { return check(); });
        if (result != Exchange::Wait::Completed) {
            hop.close(kCloseWait);
            endEarly(result);
            return false;
        }
        if (exchange.status() == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) {
            failWinHttp(exchange.error(), phase, exchange.secureFailureFlags());
            return false;
        }
        return true;
    }

    // The stop predicate (at most every kStopCheckInterval) and the time limits.
    std::optional<Exchange::Wait> check() {
        auto now = Clock::now();
        if (m_options.stop && now >= m_nextStopCheck) {
            m_nextStopCheck = now + kStopCheckInterval;
            if (m_options.stop()) return Exchange::Wait::Stopped;
        }
        if (m_deadline && now >= *m_deadline) return Exchange::Wait::TimedOut;
        if (auto since = m_current ? m_current->connectingSince() : std::nullopt) {
            // Connecting is bounded by the connect time-out, not by the low-speed rule.
            if (m_options.connectTimeout > 0 && now - *since > std::chrono::seconds(m_options.connectTimeout)) {
                m_slowConnect = true;
                return Exchange::Wait::TimedOut;
            }
            m_windowStart = now;
        }
        if (m_windowStart && m_options.lowSpeedTime > 0) {
            auto elapsed = Milliseconds(now - *m_windowStart);
            if (elapsed >= m_options.lowSpeedTime) {
                std::uint64_t inWindow = m_received - m_windowBytes;
                std::uint64_t needed = std::max<std::uint64_t>(
                    1, static_cast<std::uint64_t>(std::max(m_options.lowSpeedLimit, 0)) * elapsed / 1000);
                if (inWindow < needed) {
                    m_lowSpeed = true;
                    return Exchange::Wait::TimedOut;
                }
                m_windowStart = now;
                m_windowBytes = m_received;
            }
        }
        return std::nullopt;
    }

    void endEarly(Exchange::Wait why) {
        if (why == Exchange::Wait::Stopped)
            fail(Error::RequestCancelled, "Request cancelled");
        else if (m_slowConnect)
            fail(Error::OperationTimedOut, "No connection within " + std::to_string(m_options.connectTimeout) + " s");
        else if (m_lowSpeed)
            fail(Error::OperationTimedOut, "Transfer slower than " + std::to_string(m_options.lowSpeedLimit) +
                                               " bytes per second for " + std::to_string(m_options.lowSpeedTime) + " ms");
        else
            fail(Error::OperationTimedOut, "Request took longer than " + std::to_string(m_options.timeout / 1000) + " ms");
    }

    std::string rawHeaders(HINTERNET request) {
        DWORD size = 0;
        WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                            &size, WINHTTP_NO_HEADER_INDEX);
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
        std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
        if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, text.data(),
                                 &size, WINHTTP_NO_HEADER_INDEX))
            return {};
        text.resize(size / sizeof(wchar_t));
        return Narrow(text);
    }

    void fail(std::int32_t code, std::string message) {
        if (m_response.error.code != Error::NoError) return;
        m_response.error = Error{code, std::move(message)};
    }

    void failWinHttp(DWORD error, RequestPhase phase, DWORD secureFailureFlags = 0) {
        Error mapped = MapWinHttpError(error, phase, secureFailureFlags, m_viaProxy);
        fail(mapped.code, mapped.message);
    }

    void finish() {
        auto& metrics = m_response.connectionMetrics;
        metrics[kMetricResponseCode] = std::to_string(m_response.statusCode);
        metrics[kMetricSizeDownload] = std::to_string(m_received);
        metrics[kMetricTotalTime] = std::to_string(Milliseconds(Clock::now() - m_started));
        metrics[kMetricConnectTime] = std::to_string(Milliseconds(m_connectTime));
        metrics[kMetricRedirectCount] = std::to_string(m_redirects);
    }

    const Options& m_options;
    Response& m_response;
    Clock::time_point m_started;
    Clock::time_point m_nextStopCheck;
    std::optional<Clock::time_point> m_deadline;
    std::optional<Clock::time_point> m_windowStart;
    std::uint64_t m_windowBytes = 0;
    std::uint64_t m_received = 0;
    Clock::duration m_connectTime{};
    std::int32_t m_redirects = 0;
    bool m_viaProxy = false;
    bool m_lowSpeed = false;
    bool m_slowConnect = false;
    Exchange* m_current = nullptr;  // of the hop running now
};

void Perform(const char* method, Response& response, const Request& request, std::string body, const Options& options) {
    RequestRun run(options, response);
    run.run(method, request, std::move(body));
}

} // namespace

void WinHttpClient::get(Response& response, const Request& request, const Options& options) {
    Perform("GET", response, request, {}, options);
}

void WinHttpClient::head(Response& response, const Request& request, const Options& options) {
    Perform("HEAD", response, request, {}, options);
}

void WinHttpClient::put(Response& response, const Request& request, const std::string& body, const Options& options) {
    Perform("PUT", response, request, body, options);
}

void WinHttpClient::post(Response& response, const Request& request, const std::string& body, const Options& options) {
    Perform("POST", response, request, body, options);
}

} // namespace Nolvar::Networking::Detail
