#pragma once
// The limits of one request: the stop predicate, the whole-request time-out, the connect time-out and the
// low-speed rule.
#include <cstdint>
#include <optional>

#include "QorNetworking/Error.h"
#include "QorNetworking/Options.h"
#include "QorNetworking/WinHttpExchange.h"

namespace Nolvar::Networking::Detail {

class RequestLimits {
public:
    // `options` must outlive this object.
    RequestLimits(const Options& options, Clock::time_point started);

    // A hop starts sending with `received` bytes of the request received so far: the low-speed rule's window
    // starts now. Once connected, the answer must keep coming: the rule also covers the wait for it.
    void startWindow(std::uint64_t received);

    // Whether the request must end now. `current`: the exchange of the hop running now, null between hops;
    // `received`: bytes of the request received so far. Asks the stop predicate at most every 100 ms.
    std::optional<Exchange::Wait> check(const Exchange* current, std::uint64_t received);

    // The error a request ended with `why` (a verdict of check()) reports.
    Error endError(Exchange::Wait why) const;

private:
    const Options& m_options;
    Clock::time_point m_nextStopCheck;
    std::optional<Clock::time_point> m_deadline;
    std::optional<Clock::time_point> m_windowStart;
    std::uint64_t m_windowBytes = 0;
    bool m_lowSpeed = false;
    bool m_slowConnect = false;
};

} // namespace Nolvar::Networking::Detail
