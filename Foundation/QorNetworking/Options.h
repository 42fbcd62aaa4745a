#pragma once
// How one request is performed. A zero time limit means "no limit of ours" (WinHTTP's own defaults then apply).
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "QorNetworking/HttpVersion.h"

namespace Nolvar::Networking {

struct Options {
    using StopPredicate = std::function<bool()>;
    using ProgressCallback = std::function<void(std::uint64_t done, std::uint64_t total)>;
    using DataSink = std::function<void(std::string_view chunk)>;

    Options() = default;
    // The fields in their order; callers usually give the first seven and set the rest as needed.
    Options(std::int32_t lowSpeedLimit, std::int32_t connectTimeout, std::int64_t timeout, bool followRedirects,
            std::int32_t maxRedirects, std::int64_t lowSpeedTime, bool keepAlive,
            HttpVersion httpVersion = HttpVersion::Default, std::string proxy = {},
            bool sslIgnoreCertificateErrors = false, bool sslIgnoreHostNameMismatch = false, StopPredicate stop = {},
            ProgressCallback progress = {}, DataSink sink = {})
        : lowSpeedLimit(lowSpeedLimit), connectTimeout(connectTimeout), timeout(timeout),
          followRedirects(followRedirects), maxRedirects(maxRedirects), lowSpeedTime(lowSpeedTime),
          keepAlive(keepAlive), httpVersion(httpVersion), proxy(std::move(proxy)),
          sslIgnoreCertificateErrors(sslIgnoreCertificateErrors), sslIgnoreHostNameMismatch(sslIgnoreHostNameMismatch),
          stop(std::move(stop)), progress(std::move(progress)), sink(std::move(sink)) {}

    // A request whose body arrives slower than lowSpeedLimit bytes per second, averaged over lowSpeedTime
    // milliseconds, ends with OperationTimedOut. Nothing received for lowSpeedTime also ends it.
    std::int32_t lowSpeedLimit = 0;
    // Time-out of the TCP connection (to the server or the proxy), in seconds.
    std::int32_t connectTimeout = 0;
    // Limit of the whole request, redirects included, in microseconds.
    std::int64_t timeout = 0;
    // A redirect from https to http is never followed: it ends the request with UnsupportedProtocol.
    bool followRedirects = true;
    // More redirects than this end the request with TooManyRedirects.
    std::int32_t maxRedirects = 10;
    // See lowSpeedLimit. WinHTTP's own send and receive time-outs are set well behind it, so a stall always ends
    // through this rule.
    std::int64_t lowSpeedTime = 0;
    // Keep the connection open for later requests (HTTP keep-alive).
    bool keepAlive = true;
    HttpVersion httpVersion = HttpVersion::Default;
    // "scheme://host:port" (http or https: a plain HTTP proxy; socks4 or socks5 cannot be used and the request
    // goes direct), "host:port" (HTTP proxy), or empty for a direct connection.
    std::string proxy;
    // Accept a certificate that does not chain to a trusted root, has expired or is meant for another use.
    bool sslIgnoreCertificateErrors = false;
    // Accept a certificate whose names do not match the host.
    bool sslIgnoreHostNameMismatch = false;

    // Polled while the request runs (at least every 100 ms); true ends it with RequestCancelled.
    StopPredicate stop;
    // Bytes of the body received and the total (0 while unknown); a final (n, n) when the body is complete. Only
    // for an answer with a success status (2xx): the body of an error answer is no progress.
    ProgressCallback progress;
    // Receives each chunk of the final answer's body; without a sink the body is kept in Response::body.
    DataSink sink;
};

} // namespace Nolvar::Networking
