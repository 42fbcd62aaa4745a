#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "Tracking/Tallivo/Impl/IStorage.h"

namespace Nolvar::Tracking::Instant {

// The store thread: writes queued events to the storage in the order they were put.
class PutQueue {
public:
    // How long the shutdown and the process exit go on storing queued events.
    static constexpr std::chrono::milliseconds kStoreLimit{10000};

    explicit PutQueue(std::shared_ptr<IStorage> storage, std::chrono::milliseconds storeLimit = kStoreLimit);
    // Stores the events still queued for at most the store limit (the log says how many were left), then ends the
    // thread.
    ~PutQueue();
    PutQueue(const PutQueue&) = delete;
    PutQueue& operator=(const PutQueue&) = delete;

    void put(const Event& event);

    // At process exit, on the exiting thread, with the loader lock held and the store thread already ended by
    // the system: stores what is queued, within the store limit, without joining or waiting for any lock an
    // ended thread may have held. The queue is not used afterwards.
    void storeAtExit();

private:
    using Clock = std::chrono::steady_clock;

    void run();
    bool pastDeadline() const;
    void storeOne(const Event& event);

    std::shared_ptr<IStorage> m_storage;
    std::chrono::milliseconds m_storeLimit;
    bool m_stop = false;
    // Ticks of the steady clock after which the store gives up; 0 while not shutting down.
    std::atomic<Clock::rep> m_deadline{0};
    std::list<Event> m_events;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::thread m_thread;  // last: starts when the rest exists
};

} // namespace Nolvar::Tracking::Instant
