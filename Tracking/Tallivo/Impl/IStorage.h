#pragma once
// Stored events: written one file each, handed out in batches, deleted once sent.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "QorFilesystem/Path.h"
#include "Tracking/Tallivo/Event.h"

namespace Nolvar::Tracking::Instant {

// A batch of stored texts. Committing deletes their files; dropping it uncommitted makes them available again.
class ISerializedEvents {
public:
    virtual ~ISerializedEvents() = default;
    virtual const std::vector<std::string>& get() const = 0;
    // Deletes the files; false when some could not be deleted (they become available again).
    virtual bool commit() = 0;
    // Keeps the files aside (never sent again) instead of deleting them; a storage without such a place deletes.
    virtual bool setAside() { return commit(); }
    // Moves the first `count` events (fewer than held) into a batch of their own; this one keeps the others.
    // Throws std::logic_error when these events cannot be parted.
    virtual std::unique_ptr<ISerializedEvents> takeFirst(std::size_t /*count*/) {
        throw std::logic_error("these stored events cannot be parted");
    }
};

class IStorage {
public:
    virtual ~IStorage() = default;
    virtual void push(const Event& event) = 0;
    // Up to `maxCount` stored texts not handed out yet; null when the storage could not be read.
    virtual std::unique_ptr<ISerializedEvents> pop(std::size_t maxCount) = 0;
    // How long (seconds) an unsent event is kept.
    virtual std::int64_t getEventStorageTime() const = 0;
    virtual const ioPath& getDirectory() const = 0;
};

} // namespace Nolvar::Tracking::Instant
