#include "QorNetworking/RequestLimits.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace Nolvar::Networking::Detail {
namespace {

constexpr auto kStopCheckInterval = std::chrono::milliseconds(100);

} // namespace

RequestLimits::RequestLimits(const Options& options, Clock::time_point started)
    : m_options(options), m_nextStopCheck(started) {
    if (m_options.timeout > 0) m_deadline = started + std::chrono::microseconds(m_options.timeout);
}

void RequestLimits::startWindow(std::uint64_t received) {
    m_windowStart = Clock::now();
    m_windowBytes = received;
}

std::optional<Exchange::Wait> RequestLimits::check(const Exchange* current, std::uint64_t received) {
    auto now = Clock::now();
    if (m_options.stop && now >= m_nextStopCheck) {
        m_nextStopCheck = now + kStopCheckInterval;
        if (m_options.stop()) return Exchange::Wait::Stopped;
    }
    if (m_deadline && now >= *m_deadline) return Exchange::Wait::TimedOut;
    if (auto since = current ? current->connectingSince() : std::nullopt) {
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
            std::uint64_t inWindow = received - m_windowBytes;
            std::uint64_t needed = std::max<std::uint64_t>(
                1, static_cast<std::uint64_t>(std::max(m_options.lowSpeedLimit, 0)) * elapsed / 1000);
            if (inWindow < needed) {
                m_lowSpeed = true;
                return Exchange::Wait::TimedOut;
            }
            m_windowStart = now;
            m_windowBytes = received;
        }
    }
    return std::nullopt;
}

Error RequestLimits::endError(Exchange::Wait why) const {
    if (why == Exchange::Wait::Stopped) return {Error::RequestCancelled, "Request cancelled"};
    if (m_slowConnect)
        return {Error::OperationTimedOut, "No connection within " + std::to_string(m_options.connectTimeout) + " s"};
    if (m_lowSpeed)
        return {Error::OperationTimedOut, "Transfer slower than " + std::to_string(m_options.lowSpeedLimit) +
                                              " bytes per second for " + std::to_string(m_options.lowSpeedTime) +
                                              " ms"};
    return {Error::OperationTimedOut,
            "Request took longer than " + std::to_string(m_options.timeout / 1000) + " ms"};
}

} // namespace Nolvar::Networking::Detail
