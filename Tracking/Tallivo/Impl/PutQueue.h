#pragma once
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
    explicit PutQueue(std::shared_ptr<IStorage> storage);
    // Stores every event still queued, then ends the thread.
    ~PutQueue();
    PutQueue(const PutQueue&) = delete;
    PutQueue& operator=(const PutQueue&) = delete;

    void put(const Event& event);

private:
    void run();

    std::shared_ptr<IStorage> m_storage;
    bool m_stop = false;
    std::list<Event> m_events;
    std::mutex m_mutex;
    std::condition_variable m_condition;
    std::thread m_thread;  // last: starts when the rest exists
};

} // namespace Nolvar::Tracking::Instant
