#pragma once
// Calendar clocks. Code that needs "now" takes an ISystemClock so tests can move time.
#include <chrono>
#include <cstdint>
#include <memory>

namespace Nolvar::Time {

class ISystemClock {
public:
    using Clock = std::chrono::system_clock;
    using TimePoint = Clock::time_point;

    virtual ~ISystemClock() = default;
    virtual TimePoint now() const = 0;
};

// Whole seconds since the Unix epoch of the clock's current time.
std::int64_t SecondsSinceEpoch(const ISystemClock& clock);

class ClockFactory {
public:
    // The machine's calendar clock; one shared object serves any number of users.
    std::shared_ptr<ISystemClock> createSystemClock() const;
};

} // namespace Nolvar::Time
