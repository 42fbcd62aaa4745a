#pragma once
#include <memory>
#include <string>

#include "QorTime/Clock.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

class IIdGenerator {
public:
    virtual ~IIdGenerator() = default;
    virtual std::string generate() const = 0;
};

// Ids from the clock's tick count, three random digits and a process-wide counter.
class TALLIVO_API IdGenerator : public IIdGenerator {
public:
    explicit IdGenerator(std::shared_ptr<Time::ISystemClock> clock);
    IdGenerator(const IdGenerator&) = default;
    IdGenerator& operator=(const IdGenerator&) = default;

    // Safe to call from several threads.
    std::string generate() const override;

private:
    std::shared_ptr<Time::ISystemClock> m_clock;
};

} // namespace Nolvar::Tracking::Instant
