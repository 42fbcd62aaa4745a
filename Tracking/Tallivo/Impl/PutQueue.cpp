#include "Tracking/Tallivo/Impl/PutQueue.h"

#include <typeinfo>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"

namespace Nolvar::Tracking::Instant {

PutQueue::PutQueue(std::shared_ptr<IStorage> storage, std::chrono::milliseconds storeLimit)
    : m_storage(std::move(storage)), m_storeLimit(storeLimit), m_thread([this] { run(); }) {}

PutQueue::~PutQueue() {
    {
        std::lock_guard lock(m_mutex);
        m_deadline = (Clock::now() + m_storeLimit).time_since_epoch().count();
        m_stop = true;
    }
    m_condition.notify_one();
    m_thread.join();
}

void PutQueue::put(const Event& event) {
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(event);
    }
    m_condition.notify_one();
}

bool PutQueue::pastDeadline() const {
    const Clock::rep deadline = m_deadline.load();
    return deadline != 0 && Clock::now().time_since_epoch().count() > deadline;
}

void PutQueue::storeOne(const Event& event) {
    try {
        m_storage->push(event);
    } catch (const std::exception& e) {
        // push reports its own file errors; anything else loses this one event, not the thread.
        LOG(ERROR) << "Failed to store event " << event.name << ", error: " << e.what();
        Core::TrackException("TallivoException", typeid(e).name());
    }
}

void PutQueue::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_condition.wait(lock, [this] { return m_stop || !m_events.empty(); });
        if (m_events.empty()) return;  // stopping, and everything is stored
        if (pastDeadline()) {
            const std::size_t left = m_events.size();
            m_events.clear();
            lock.unlock();
            LOG(WARNING) << "Statistics shutdown: " << left << " queued events were not stored within "
                         << m_storeLimit.count() << " ms";
            return;
        }
        // The event stays queued until it is stored, so an exit meanwhile still finds it. Only this thread
        // removes events, and adding to a list keeps references valid.
        const Event& next = m_events.front();
        lock.unlock();
        storeOne(next);
        lock.lock();
        m_events.pop_front();
    }
}

void PutQueue::storeAtExit() {
    std::list<Event> taken;
    {
        std::unique_lock lock(m_mutex, std::try_to_lock);
        if (!lock) return;  // an ended thread held it: its state cannot be trusted
        taken.swap(m_events);
    }
    m_deadline = (Clock::now() + m_storeLimit).time_since_epoch().count();
    for (const Event& event : taken) {
        if (pastDeadline()) return;
        storeOne(event);
    }
}

} // namespace Nolvar::Tracking::Instant
