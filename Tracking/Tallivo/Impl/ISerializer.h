#pragma once
// Turns events into stored texts and stored texts into the body of one upload.
#include <string>
#include <vector>

#include "Tracking/Tallivo/Event.h"

namespace Nolvar::Tracking::Instant {

class ISerializer {
public:
    virtual ~ISerializer() = default;
    // The text one event is stored as.
    virtual std::string serialize(const Event& event) const = 0;
    // A batch envelope holding the given events.
    virtual std::string serialize(const std::vector<Event>& events) const = 0;
    // The upload body for the stored texts that are valid events; empty when none is.
    virtual std::string makeBatch(const std::vector<std::string>& texts) const = 0;
};

} // namespace Nolvar::Tracking::Instant
