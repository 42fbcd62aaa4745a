#include "Tracking/Tallivo/Impl/PutQueue.h"

#include <typeinfo>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"

namespace Nolvar::Tracking::Instant {

PutQueue::PutQueue(std::shared_ptr<IStorage> storage) : m_storage(std::move(storage)), m_thread([this] { run(); }) {}

PutQueue::~PutQueue() {
    {
        std::lock_guard lock(m_mutex);
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

void PutQueue::run() {
    for (;;) {
        std::list<Event> taken;
        bool stop = false;
        {
            std::unique_lock lock(m_mutex);
            m_condition.wait(lock, [this] { return m_stop || !m_events.empty(); });
            stop = m_stop;
            taken.swap(m_events);
        }
        for (const Event& event : taken) {
            try {
                m_storage->push(event);
            } catch (const std::exception& e) {
                // push reports its own file errors; anything else loses this one event, not the thread.
                LOG(ERROR) << "Failed to store event " << event.name << ", error: " << e.what();
                Core::TrackException("TallivoException", typeid(e).name());
            }
        }
        if (stop) return;
    }
}

} // namespace Nolvar::Tracking::Instant
