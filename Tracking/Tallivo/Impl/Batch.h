#pragma once
// A batch of stored events on its way to the statistics server.
#include <cstdint>
#include <memory>
#include <string>

#include "Tracking/Tallivo/Impl/IStorage.h"

namespace Nolvar::Tracking::Instant {

// What the server's refusals showed of a batch; read and changed by the refusal judge alone.
struct RefusalHistory {
    int refusals = 0;             // refusals of these events, also as part of a larger batch
    std::int32_t lastStatus = 0;  // the status of the last one
    bool acceptedSince = false;   // the server took another batch since the last one
    bool narrowing = false;       // a part of a batch refused for what it holds, not sent yet
};

struct Batch {
    std::string text;  // the upload body; built when the batch is first sent
    std::unique_ptr<ISerializedEvents> events;
    RefusalHistory history;

    bool empty() const { return !events; }
    std::size_t size() const { return events ? events->get().size() : 0; }
    // Moves the first `count` events (fewer than held) into a batch of their own with the same history; both
    // get a new upload text.
    Batch takeFirst(std::size_t count) {
        Batch first{{}, events->takeFirst(count), history};
        text.clear();
        return first;
    }
};

} // namespace Nolvar::Tracking::Instant
