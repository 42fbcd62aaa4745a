#pragma once
// Keeps a transfer near a given speed by pausing after each 50 ms worth of bytes.
#include <chrono>
#include <cstdint>

#include "App/Fetchwell/FetchwellApi.h"

namespace Nolvar::App::Detail {

class FETCHWELL_API Throttle {
public:
    using Clock = std::chrono::steady_clock;

    // The clock starts now: construct it when the transfer starts.
    explicit Throttle(std::int32_t speedKiB);

    // Bytes allowed per 50 ms slice.
    std::uint64_t quota() const { return m_quota; }
    // Accounts for n more bytes; pauses when a slice's worth has gone.
    void consumed(std::uint64_t n);

private:
    std::uint64_t m_quota;
    std::uint64_t m_consumed = 0;
    std::uint64_t m_threshold;
    std::int64_t m_lagMs = 10;
    Clock::time_point m_lastPause;
};

} // namespace Nolvar::App::Detail
