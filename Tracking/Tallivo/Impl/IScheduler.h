#pragma once
#include "Tracking/Tallivo/Event.h"

namespace Nolvar::Tracking::Instant {

// Takes tracked events off the caller's thread: stores them and sends them later.
class IScheduler {
public:
    virtual ~IScheduler() = default;
    // Queues the event and returns at once; never touches the disk or the network.
    virtual void put(const Event& event) = 0;
    // At process exit (loader lock held, the scheduler's threads already ended): puts queued events on disk
    // within a bounded time, joining nothing.
    virtual void storeAtExit() {}
};

} // namespace Nolvar::Tracking::Instant
