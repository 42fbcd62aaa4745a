#pragma once
#include <chrono>
#include <memory>
#include <set>
#include <string>

#include "QorTime/Clock.h"
#include "Tracking/Tallivo/Impl/IStorage.h"
#include "Tracking/Tallivo/Impl/ISerializer.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// One file per event in one directory that several processes may share. Every process writes (through a ".tmp"
// name and a rename that never replaces); only the holder of the directory's lock pops and deletes.
// push may run on any thread; pop and the batches it returns belong to one thread.
class TALLIVO_API Storage : public IStorage, public std::enable_shared_from_this<Storage> {
public:
    static constexpr std::int64_t kEventStorageTime = 30 * 24 * 60 * 60;
    // A ".tmp" or empty event file younger than this may still be written by some process.
    static constexpr std::chrono::seconds kWriteGrace{60};
    // Largest stored event text: a larger one is not stored, and a larger file is set aside unread.
    static constexpr std::uintmax_t kMaxEventSize = 256 * 1024;

    // Stores in GetSystemCacheRoot() / vendor / product / "EventsStorage"; throws std::invalid_argument when
    // vendor or product is not a plain folder name.
    Storage(std::shared_ptr<ISerializer> serializer, const std::string& vendor, const std::string& product,
            std::shared_ptr<IIdGenerator> idGenerator, std::shared_ptr<Time::ISystemClock> clock);
    // Stores in `directory` (created when missing).
    Storage(std::shared_ptr<ISerializer> serializer, std::shared_ptr<IIdGenerator> idGenerator,
            std::shared_ptr<Time::ISystemClock> clock, const ioPath& directory);
    Storage(const Storage& other);
    Storage& operator=(const Storage& other);
    // Removes the ".tmp" files left behind (those old enough that no process can still be writing them).
    ~Storage() override;

    void push(const Event& event) override;
    std::unique_ptr<ISerializedEvents> pop(std::size_t maxCount) override;
    std::int64_t getEventStorageTime() const override;
    const ioPath& getDirectory() const override;

private:
    friend class StoredBatch;

    void release(const std::vector<ioPath>& paths);
    bool removeAndRelease(const std::vector<ioPath>& paths);
    bool setAsideAndRelease(const std::vector<ioPath>& paths);
    void clearTemporaryFiles() const;

    std::shared_ptr<ISerializer> m_serializer;
    std::shared_ptr<IIdGenerator> m_idGenerator;
    std::shared_ptr<Time::ISystemClock> m_clock;
    ioPath m_directory;
    std::set<std::wstring> m_popped;
};

} // namespace Nolvar::Tracking::Instant
