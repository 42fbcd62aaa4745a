#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "QorNetworking/CaseInsensitiveCompare.h"
#include "QorNetworking/Error.h"

namespace Nolvar::Networking {

// Names of the connection metrics (values are decimal texts, times in milliseconds).
inline constexpr const char* kMetricEffectiveUrl = "EFFECTIVE_URL";    // URL of the last answer received
inline constexpr const char* kMetricResponseCode = "RESPONSE_CODE";    // HTTP status of the last answer, 0 if none
inline constexpr const char* kMetricSizeDownload = "SIZE_DOWNLOAD";    // bytes of the final body received
inline constexpr const char* kMetricTotalTime = "TOTAL_TIME";          // whole request, redirects included
inline constexpr const char* kMetricConnectTime = "CONNECT_TIME";      // TCP connects (0 when a connection was reused)
inline constexpr const char* kMetricRedirectCount = "REDIRECT_COUNT";  // redirects followed

struct Response {
    // One answer's status line and headers; a redirected request has one block per answer, in order.
    struct HeadersBlock {
        std::string status;  // the whole status line, e.g. "HTTP/1.1 302 Found"
        std::string reason;  // "Found"
        std::string code;    // "302"
        Headers headers;
    };

    // Status of the final answer; 0 when no answer came.
    std::int32_t statusCode = 0;
    // NoError whenever an HTTP answer came, whatever its status.
    Error error;
    // Headers of the final answer (repeated headers joined with ", ").
    Headers headers;
    // Body of the final answer when the request had no sink.
    std::string body;
    std::map<std::string, std::string> connectionMetrics;
    std::vector<HeadersBlock> headerBlocks;

    const std::vector<HeadersBlock>& getAllHeaders() const { return headerBlocks; }
    // Last-Modified of the final answer in Unix seconds (UTC); 0 when absent or unreadable.
    std::int64_t getLastModified() const;
};

// An HTTP date (RFC 1123, RFC 850 or asctime form) in Unix seconds; nullopt when the text is not one.
std::optional<std::int64_t> ParseHttpDate(std::string_view text);

} // namespace Nolvar::Networking
