#include "QorTime/Clock.h"

namespace Nolvar::Time {

namespace {

class SystemClock final : public ISystemClock {
public:
    TimePoint now() const override { return Clock::now(); }
};

} // namespace

std::int64_t SecondsSinceEpoch(const ISystemClock& clock) {
    return std::chrono::duration_cast<std::chrono::seconds>(clock.now().time_since_epoch()).count();
}

std::shared_ptr<ISystemClock> ClockFactory::createSystemClock() const { return std::make_shared<SystemClock>(); }

} // namespace Nolvar::Time
