#include "App/Fetchwell/Downloader/Throttle.h"

#include <algorithm>
#include <thread>

namespace Nolvar::App::Detail {

namespace {
constexpr std::int64_t kSliceMs = 50;
constexpr auto kLongestSleep = std::chrono::hours(24 * 10);
} // namespace

Throttle::Throttle(std::int32_t speedKiB)
    : m_quota(speedKiB > 0 ? static_cast<std::uint64_t>(speedKiB) * 1024 / 20 : 0),
      m_threshold(m_quota),
      m_lastPause(Clock::now()) {}

void Throttle::consumed(std::uint64_t n) {
    m_consumed += n;
    if (m_consumed < m_threshold) return;
    m_threshold += m_quota;
    const auto now = Clock::now();
    const std::int64_t pauseMs = kSliceMs - m_lagMs;
    auto deadline = pauseMs > 0 ? now + std::chrono::milliseconds(pauseMs) : now;
    while (Clock::now() < deadline)
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - Clock::now(), kLongestSleep));
    const auto after = Clock::now();
    m_lagMs += std::chrono::duration_cast<std::chrono::milliseconds>(after - m_lastPause).count() - kSliceMs;
    m_lastPause = after;
}

} // namespace Nolvar::App::Detail
