#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "QorFilesystem/DirectoryWatcher.h"
#include "Tracking/Tallivo/Impl/IConcurrency.h"
#include "Tracking/Tallivo/Impl/IScheduler.h"
#include "Tracking/Tallivo/Impl/ISender.h"
#include "Tracking/Tallivo/Impl/ISerializer.h"
#include "Tracking/Tallivo/Impl/IStorage.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

struct Batch;
class PutQueue;

// A store thread writes put events to the storage; a sender thread, while this process holds the directory's
// lock, sends them in batches and deletes what the server took, backing off when it fails or asks to wait. A
// refused batch steps out of the others' way; the refusal judge says what becomes of it.
class TALLIVO_API Scheduler : public IScheduler {
public:
    static constexpr std::size_t kBatchSize = 10;
    // Longest back-off step, in back-off units.
    static constexpr std::int64_t kMaxBackoff = 120;
    // How long an upload in flight at shutdown may go on; past it the upload is cancelled and its events kept.
    static constexpr std::chrono::seconds kUploadGrace{5};

    // `pollInterval`: the wait between passes without a watcher, and the longest wait while this process does
    // not hold the lock or the storage failed. `backoffUnit`: the length of one back-off second.
    // Throws std::logic_error for a null component.
    Scheduler(std::shared_ptr<ISender> sender, std::shared_ptr<ISerializer> serializer,
              std::shared_ptr<IStorage> storage, std::shared_ptr<IConcurrency> concurrency,
              const std::shared_ptr<Core::IDirectoryWatcherFactory>& watcherFactory, bool preventSending,
              std::chrono::microseconds pollInterval,
              std::chrono::milliseconds backoffUnit = std::chrono::seconds(1));
    // Stores what is queued, lets an upload in flight finish within the upload grace, and joins both threads.
    ~Scheduler() override;
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    void put(const Event& event) override;
    void storeAtExit() override;

private:
    using Clock = std::chrono::steady_clock;
    enum class Wait { None, ForChange, Bounded };
    enum class PassEnd { Next, Stop };
    struct SendState;

    void onEventAvailable();
    // Waits before a pass; false when the scheduler is stopping (that pass is the last).
    bool waitForPass(Wait wait);
    // Waits `steps` back-off units; false when the scheduler is stopping.
    bool waitBackoff(std::int64_t steps);
    // True once the upload grace of a shutdown is over.
    bool uploadOverdue() const;

    // The sender thread and the roads of one pass.
    enum class Choice { Send, Idle, Stop };
    void doWork();
    PassEnd runPass(SendState& state);
    Choice chooseBatch(SendState& state);
    void carryOutVerdicts(SendState& state);
    bool takeNew(SendState& state);
    bool takeKept(SendState& state, bool singleFirst);
    bool takeBatch(SendState& state);
    bool prepare(SendState& state, Batch& batch);
    void onResponse(SendState& state, const ISender::Response& response);
    void onSettled(SendState& state, bool accepted);
    void onRefused(SendState& state, std::int32_t status);

    std::shared_ptr<ISender> m_sender;
    std::shared_ptr<ISerializer> m_serializer;
    std::shared_ptr<IStorage> m_storage;
    std::shared_ptr<IConcurrency> m_concurrency;
    bool m_stop = false;
    // Steady-clock ticks after which an upload is cancelled; 0 while not shutting down. Read by an upload in flight.
    std::atomic<Clock::rep> m_uploadDeadline{0};
    bool m_eventAvailable = true;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::chrono::microseconds m_pollInterval;
    std::chrono::milliseconds m_backoffUnit;
    std::unique_ptr<PutQueue> m_putQueue;
    std::unique_ptr<Core::IDirectoryWatcher> m_watcher;
    std::thread m_worker;  // last: started when everything else exists
};

} // namespace Nolvar::Tracking::Instant
