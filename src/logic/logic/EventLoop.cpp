#include "logic/logic/EventLoop.h"

#include <algorithm>

namespace Nolvar {

BaseEventLoop::BaseEventLoop() : m_handlers(8) { m_handlers.max_load_factor(1.0f); }

void BaseEventLoop::run() {
    while (!m_stopped) {
        std::any event;
        {
            std::unique_lock lock(m_mutex);
            for (;;) {
                if (m_stopped) return;
                const auto next = QueueDueEvents(std::chrono::steady_clock::now());
                if (!m_queue.empty()) break;
                m_waiting = true;
                m_idle.notify_all();
                if (m_timed.empty())
                    m_wake.wait(lock);
                else
                    m_wake.wait_until(lock, next);
                m_waiting = false;
            }
            event = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const auto handlers = m_handlers.find(std::type_index(event.type()));
        if (handlers == m_handlers.end()) continue;
        for (const auto& handler : handlers->second) handler(event);
    }
}

std::chrono::steady_clock::time_point BaseEventLoop::QueueDueEvents(std::chrono::steady_clock::time_point now) {
    std::stable_sort(m_timed.begin(), m_timed.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.due < b.due; });
    auto due = m_timed.begin();
    for (; due != m_timed.end() && due->due <= now; ++due) m_queue.push_back(std::move(due->event));
    m_timed.erase(m_timed.begin(), due);
    return m_timed.empty() ? now : m_timed.front().due;
}

void BaseEventLoop::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_wake.notify_all();
    m_idle.notify_all();
}

bool BaseEventLoop::waitUntilIdle(std::chrono::steady_clock::duration limit) {
    std::unique_lock lock(m_mutex);
    return m_idle.wait_for(lock, limit, [this] { return m_stopped || (m_waiting && m_queue.empty()); });
}

} // namespace Nolvar
