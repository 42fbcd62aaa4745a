#include "Tracking/Tallivo/Impl/IdGenerator.h"

#include <atomic>
#include <cstdint>
#include <random>

#include "Tracking/Tallivo/Impl/NotNull.h"

namespace Nolvar::Tracking::Instant {

namespace {

// Shared by every generator of the process: ids made in one clock tick still differ.
std::atomic<std::uint64_t> g_counter{0};

} // namespace

IdGenerator::IdGenerator(std::shared_ptr<Time::ISystemClock> clock) : m_clock(Detail::NotNull(std::move(clock))) {}

std::string IdGenerator::generate() const {
    const std::int64_t ticks = m_clock->now().time_since_epoch().count();
    std::string text = std::to_string(ticks);
    text.erase(0, std::min<std::size_t>(4, text.size()));

    std::mt19937 random(std::random_device{}());
    text += std::to_string(std::uniform_int_distribution<int>(100, 999)(random));
    text += std::to_string(g_counter.fetch_add(1, std::memory_order_relaxed));
    return text;
}

} // namespace Nolvar::Tracking::Instant
