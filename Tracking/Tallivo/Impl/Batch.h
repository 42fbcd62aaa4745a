#pragma once
// A batch of stored events on its way to the statistics server.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Tracking/Tallivo/Impl/IStorage.h"

namespace Nolvar::Tracking::Instant {

// What the server's answers showed of a batch; read and changed by the refusal judge alone.
struct RefusalHistory {
    int refusals = 0;             // refusals of these events, also as part of a larger batch
    std::int32_t lastStatus = 0;  // the status of the last one
    bool acceptedSince = false;   // the server took another batch since the last one
    bool unsent = true;           // never sent as it is: a batch from the storage, or a part of a refused one
    // Since the first refusal, the unsent batches the server took and refused: how it answers batches that are not
    // under suspicion.
    int othersTaken = 0;
    int othersRefused = 0;
};

struct Batch {
    std::string text;  // the upload body; built when the batch is first sent
    std::unique_ptr<ISerializedEvents> events;
    RefusalHistory history;

    bool empty() const { return !events; }
    std::size_t size() const { return events ? events->get().size() : 0; }
    // This batch's events in parts of at most `partSize` events, in order, each with this batch's history and
    // unsent. Throws std::logic_error when the events cannot be parted.
    std::vector<Batch> split(std::size_t partSize) && {
        history.unsent = true;
        text.clear();
        std::vector<Batch> parts;
        while (size() > partSize) parts.push_back({{}, events->takeFirst(partSize), history});
        parts.push_back(std::move(*this));
        return parts;
    }
};

} // namespace Nolvar::Tracking::Instant
