#pragma once
#include <atomic>

#include "QorTime/Clock.h"

namespace Testing {

// A calendar clock the test sets.
class FakeClock : public Nolvar::Time::ISystemClock {
public:
    explicit FakeClock(std::int64_t seconds) { set(seconds); }
    TimePoint now() const override { return TimePoint(Clock::duration(m_ticks.load())); }
    void set(std::int64_t seconds) {
        m_ticks = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(seconds)).count();
    }

private:
    std::atomic<Clock::rep> m_ticks{0};
};

} // namespace Testing
