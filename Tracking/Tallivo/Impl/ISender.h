#pragma once
// Uploads one batch to the statistics endpoint and reduces the answer to what the scheduler decides on.
#include <cstdint>
#include <functional>
#include <string>

namespace Nolvar::Tracking::Instant {

class ISender {
public:
    enum class ResponseKind : std::int32_t {
        Ok = 0,               // status 200
        BadRequest = 1,       // status 400
        TooManyRequests = 2,  // status 429
        TransportError = 3,   // no HTTP answer
        ServerError = 4,      // status 500
        OtherStatus = 5,      // any other status
    };

    struct Response {
        // The rate-limit headers; all 0 unless all three were read.
        struct Headers {
            bool valid = false;
            std::uint64_t limit = 0;
            std::uint64_t remaining = 0;
            std::int64_t retryAfter = 0;  // seconds
        };
        // Flags of the JSON answer; all false unless the body was such an answer.
        struct Answer {
            bool parsed = false;
            bool success = false;
            bool disabled = false;
        };

        ResponseKind kind = ResponseKind::TransportError;
        std::int32_t status = 0;        // HTTP status; 0 without an answer
        std::int32_t networkError = 0;  // the networking client's error code; 0 when an answer came
        Headers headers;
        Answer answer;
    };

    // The longest wait a server may ask for with "X-RateLimit-Retry-After", in seconds.
    static constexpr std::int64_t kMaxRetryAfter = 24 * 60 * 60;

    // True when the upload should end at once (the owner is shutting down).
    using StopCheck = std::function<bool()>;

    virtual ~ISender() = default;
    // Never throws for network or server failures.
    virtual Response send(const std::string& batch, const StopCheck& stop) const = 0;
};

} // namespace Nolvar::Tracking::Instant
