#include "QorNetworking/WinHttpRequest.h"

#include <glog/logging.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <exception>
#include <string_view>
#include <utility>

#include "QorNetworking/ConnectionMetrics.h"
#include "QorNetworking/HeaderText.h"
#include "QorNetworking/ProxyText.h"
#include "QorNetworking/WinHttpApi.h"
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

// How long a cancelled request waits for WinHTTP to let go of its handle before leaving it to WinHTTP.
constexpr auto kCloseWait = 300ms;
// How long a finished hop waits for WinHTTP to let go of its handle.
constexpr auto kHopCloseWait = 5s;
// Added to WinHTTP's send and receive time-outs so that the low-speed rule ends a stall first (milliseconds).
constexpr std::int64_t kStallBackstop = 10'000;

std::wstring Wide(const std::string& text) { return Core::WstringFromUtf8(text); }

// Only the body of a successful answer is progress of what was asked for; an error page is not.
bool CountsAsProgress(std::int32_t status) { return status >= 200 && status < 300; }

bool IsRedirect(std::int32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<std::uint64_t> ContentLength(const Headers& headers) {
    auto length = headers.find("Content-Length");
    if (length == headers.end()) return std::nullopt;
    try {
        return std::stoull(length->second);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void SetOptionalOption(HINTERNET handle, DWORD option, DWORD value) {
    // Some options are unimplemented in some WinHTTP versions (Wine's); a request works without them.
    if (auto set = WinHttp::SetOption(handle, option, value); !set)
        VLOG(1) << "WinHTTP option " << option << " not applied, error " << set.error().value();
}

} // namespace

void WinHttpRequest::Perform(WinHttpSessions& sessions, const char* method, Response& response,
                             const Request& request, std::string body, const Options& options) {
    WinHttpRequest run(options, response);
    run.perform(sessions, method, request, std::move(body));
    run.finish();
}

WinHttpRequest::WinHttpRequest(const Options& options, Response& response)
    : m_options(options), m_response(response), m_started(Clock::now()), m_limits(options, m_started) {
    m_response = Response{};
}

void WinHttpRequest::perform(WinHttpSessions& sessions, std::string method, const Request& request,
                             std::string body) {
    Url url = request.url;
    for (const auto& [name, value] : request.parameters) url.addParameter(name, value);
    if (!url.isValid()) return fail(Error::InvalidUrlFormat, "Invalid URL: " + url.toString());

    const WinHttpSessions::Session session = openSession(sessions, request, url);
    if (!session) return;
    const std::wstring headers = Wide(HeaderLines(request.headers));

    for (std::int32_t redirects = 0;;) {
        std::optional<Url> next = hop(session->get(), url, method, headers, body);
        if (!next) break;
        if (++redirects > m_options.maxRedirects) {
            fail(Error::TooManyRedirects, "More than " + std::to_string(m_options.maxRedirects) + " redirects");
            break;
        }
        m_redirects = redirects;
        const std::int32_t status = m_response.statusCode;
        if (status == 303 || ((status == 301 || status == 302) && method == "POST")) {
            if (method != "HEAD") method = "GET";
            body.clear();
        }
        url = *next;
    }
}

// The session for the request's proxy and user agent, shared with the client's other requests.
WinHttpSessions::Session WinHttpRequest::openSession(WinHttpSessions& sessions, const Request& request,
                                                     const Url& url) {
    auto proxy = ParseProxyText(m_options.proxy);
    if (!proxy) {
        fail(Error::ProxyResolutionFailure, "Unusable proxy: " + m_options.proxy);
        return {};
    }
    if (proxy->kind == ProxyText::Kind::Socks) {
        LOG(WARNING) << "SOCKS proxy " << m_options.proxy << " cannot be used by WinHTTP; connecting directly to "
                     << url.host();
        proxy->kind = ProxyText::Kind::Direct;
    }
    m_viaProxy = proxy->kind == ProxyText::Kind::Http;

    const std::wstring proxyName = m_viaProxy ? Wide(proxy->host + ":" + std::to_string(proxy->port)) : std::wstring();
    auto session = sessions.get(Wide(UserAgent(request.headers)), proxyName);
    if (!session) {
        failWinHttp(WinHttp::ErrorNumber(session.error()), RequestPhase::Setup);
        return {};
    }
    return std::move(*session);
}

std::optional<Url> WinHttpRequest::hop(HINTERNET session, const Url& url, const std::string& method,
                                       const std::wstring& headers, const std::string& body) {
    const std::string scheme = url.scheme();
    if (scheme != "http" && scheme != "https") {
        fail(Error::UnsupportedProtocol, "Unsupported protocol: " + scheme);
        return std::nullopt;
    }
    if (auto verdict = check()) {
        endEarly(*verdict);
        return std::nullopt;
    }
    WinHttpHop hop(body);
    if (auto opened = hop.open(session, url, Wide(method), m_options.httpVersion); !opened) {
        failWinHttp(WinHttp::ErrorNumber(opened.error()), RequestPhase::Setup);
        return std::nullopt;
    }
    struct HopEnd {
        WinHttpRequest& run;
        WinHttpHop& hop;
        ~HopEnd() {
            run.m_current = nullptr;
            hop.close(kHopCloseWait);
            run.m_connectTime += hop.connectTime();
        }
    } hopEnd{*this, hop};

    applyRequestOptions(hop.handle(), scheme == "https");
    m_current = &hop.exchange();
    m_limits.startWindow(m_received);
    if (!sendAndAwaitHeaders(hop, headers) || !takeAnswerHeaders(hop, url)) return std::nullopt;

    if (auto location = redirectLocation()) return redirectTarget(url, *location);
    if (method != "HEAD") readBody(hop);
    return std::nullopt;
}

std::optional<Url> WinHttpRequest::redirectTarget(const Url& url, const std::string& location) {
    std::optional<Url> next = url.resolve(location);
    if (!next) {
        fail(Error::InvalidUrlFormat, "Unusable redirect location: " + location);
        return std::nullopt;
    }
    // What was asked for over HTTPS never continues in clear text: its answer could be read or replaced on the way.
    if (url.scheme() == "https" && next->scheme() == "http") {
        std::string message = "Redirect from " + url.toString() + " to " + next->toString() +
                              " refused: it would leave HTTPS for plain HTTP";
        LOG(WARNING) << message;
        fail(Error::UnsupportedProtocol, std::move(message));
        return std::nullopt;
    }
    return next;
}

void WinHttpRequest::applyRequestOptions(HINTERNET request, bool secure) {
    const int connectMs = m_options.connectTimeout > 0 ? m_options.connectTimeout * 1000 : 60000;
    // With a low-speed rule of ours, that rule alone decides a stall: WinHTTP's own send and receive time-outs
    // are only a backstop behind it. The rule may need up to two of its windows to see a stall that began
    // in the middle of one.
    const std::int64_t ioLimit = m_options.lowSpeedTime > 0 ? 2 * m_options.lowSpeedTime + kStallBackstop : 30000;
    const int ioMs = static_cast<int>(std::min<std::int64_t>(ioLimit, INT_MAX));
    // The request's own limits still hold without them.
    if (auto set = WinHttp::SetTimeouts(request, connectMs, connectMs, ioMs, ioMs); !set)
        LOG(WARNING) << "WinHTTP time-outs not applied, error " << set.error().value();
    DWORD disable = WINHTTP_DISABLE_REDIRECTS | (m_options.keepAlive ? 0 : WINHTTP_DISABLE_KEEP_ALIVE);
    SetOptionalOption(request, WINHTTP_OPTION_DISABLE_FEATURE, disable);
    if (secure) {
        DWORD security = 0;
        if (m_options.sslIgnoreCertificateErrors)
            security |= SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                        SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
        if (m_options.sslIgnoreHostNameMismatch) security |= SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
        if (security) SetOptionalOption(request, WINHTTP_OPTION_SECURITY_FLAGS, security);
    }
    if (m_options.httpVersion == HttpVersion::Http2)
        SetOptionalOption(request, WINHTTP_OPTION_ENABLE_HTTP_PROTOCOL, WINHTTP_PROTOCOL_FLAG_HTTP2);
}

bool WinHttpRequest::sendAndAwaitHeaders(WinHttpHop& hop, const std::wstring& headers) {
    Exchange& exchange = hop.exchange();
    exchange.expectCompletion();
    if (auto sent = WinHttp::SendRequest(hop.handle(), headers, exchange.body(), reinterpret_cast<DWORD_PTR>(&exchange));
        !sent) {
        failWinHttp(WinHttp::ErrorNumber(sent.error()), RequestPhase::Send, exchange.secureFailureFlags());
        return false;
    }
    if (!await(hop, RequestPhase::Send)) return false;

    exchange.expectCompletion();
    if (auto receiving = WinHttp::ReceiveResponse(hop.handle()); !receiving) {
        failWinHttp(WinHttp::ErrorNumber(receiving.error()), RequestPhase::ReceiveHeaders,
                    exchange.secureFailureFlags());
        return false;
    }
    return await(hop, RequestPhase::ReceiveHeaders);
}

// Status and headers of the answer that has arrived become the response's.
bool WinHttpRequest::takeAnswerHeaders(WinHttpHop& hop, const Url& url) {
    auto status = WinHttp::QueryStatusCode(hop.handle());
    if (!status) {
        failWinHttp(WinHttp::ErrorNumber(status.error()), RequestPhase::ReceiveHeaders);
        return false;
    }
    auto raw = WinHttp::QueryRawHeaders(hop.handle());
    if (!raw) LOG(WARNING) << "Headers of " << url.toString() << " not readable, error " << raw.error().value();
    Response::HeadersBlock block = ParseRawHeaders(raw ? *raw : std::string());
    m_response.statusCode = static_cast<std::int32_t>(*status);
    m_response.headers = block.headers;
    m_response.connectionMetrics[kMetricEffectiveUrl] = url.toString();
    m_response.headerBlocks.push_back(std::move(block));
    return true;
}

// The Location of a redirect to follow; nullopt for any other answer.
std::optional<std::string> WinHttpRequest::redirectLocation() const {
    if (!m_options.followRedirects || !IsRedirect(m_response.statusCode)) return std::nullopt;
    auto location = m_response.headers.find("Location");
    if (location == m_response.headers.end() || location->second.empty()) return std::nullopt;
    return location->second;
}

void WinHttpRequest::readBody(WinHttpHop& hop) {
    Exchange& exchange = hop.exchange();
    const std::optional<std::uint64_t> total = ContentLength(m_response.headers);
    // WinHTTP's callbacks read as data arrives; this thread delivers each batch and keeps the limits.
    exchange.startPump(hop.handle());
    for (;;) {
        Exchange::Batch batch = exchange.takeBatch(kPollInterval);
        if (batch.data.size > 0) deliver({batch.data.room.data(), batch.data.size}, total.value_or(0));
        exchange.giveBack(std::move(batch.data));
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
        fail(Error::NetworkReceiveError,
             "Connection closed after " + std::to_string(m_received) + " of " + std::to_string(*total) + " bytes");
        return;
    }
    if (m_options.progress && CountsAsProgress(m_response.statusCode)) m_options.progress(m_received, m_received);
}

void WinHttpRequest::deliver(std::string_view chunk, std::uint64_t total) {
    m_received += chunk.size();
    if (m_options.sink)
        m_options.sink(chunk);
    else
        m_response.body.append(chunk);
    if (m_options.progress && CountsAsProgress(m_response.statusCode)) m_options.progress(m_received, total);
}

// Waits for the pending operation of the hop; false (with the error set) when it failed or was ended.
bool WinHttpRequest::await(WinHttpHop& hop, RequestPhase phase) {
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

std::optional<Exchange::Wait> WinHttpRequest::check() { return m_limits.check(m_current, m_received); }

void WinHttpRequest::endEarly(Exchange::Wait why) {
    Error error = m_limits.endError(why);
    fail(error.code, std::move(error.message));
}

void WinHttpRequest::fail(std::int32_t code, std::string message) {
    if (m_response.error.code != Error::NoError) return;
    m_response.error = Error{code, std::move(message)};
}

void WinHttpRequest::failWinHttp(DWORD error, RequestPhase phase, DWORD secureFailureFlags) {
    Error mapped = MapWinHttpError(error, phase, secureFailureFlags, m_viaProxy);
    fail(mapped.code, mapped.message);
}

void WinHttpRequest::finish() {
    auto& metrics = m_response.connectionMetrics;
    metrics[kMetricResponseCode] = std::to_string(m_response.statusCode);
    metrics[kMetricSizeDownload] = std::to_string(m_received);
    metrics[kMetricTotalTime] = std::to_string(Milliseconds(Clock::now() - m_started));
    metrics[kMetricConnectTime] = std::to_string(Milliseconds(m_connectTime));
    metrics[kMetricRedirectCount] = std::to_string(m_redirects);
}

} // namespace Nolvar::Networking::Detail
