#pragma once

namespace Nolvar::Tracking::Instant {

// Decides which of several processes may read, send and delete the shared stored events.
class IConcurrency {
public:
    virtual ~IConcurrency() = default;
    // True while this object holds the right; once held it is kept for the object's life.
    virtual bool tryLock() = 0;
};

} // namespace Nolvar::Tracking::Instant
