#pragma once
#include <cstdint>

namespace Nolvar::Networking {

// HTTP version a client asks for; Default lets the client choose.
enum class HttpVersion : std::int32_t { Default = 0, Http1_0 = 1, Http1_1 = 2, Http2 = 3 };

} // namespace Nolvar::Networking
