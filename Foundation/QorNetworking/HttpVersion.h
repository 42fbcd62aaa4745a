#pragma once
#include <cstdint>

namespace Nolvar::Networking {

// HTTP version a client asks for; Default lets the client choose (HTTP/1.1 for the WinHTTP client).
// Http1_0 sends HTTP/1.0 requests; Http2 offers HTTP/2 where the system's WinHTTP can (else HTTP/1.1).
enum class HttpVersion : std::int32_t { Default = 0, Http1_0 = 1, Http1_1 = 2, Http2 = 3 };

} // namespace Nolvar::Networking
