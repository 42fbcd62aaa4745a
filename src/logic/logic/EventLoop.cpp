#include "logic/logic/EventLoop.h"

namespace Nolvar {

BaseEventLoop::BaseEventLoop() : m_handlers(8) { m_handlers.max_load_factor(1.0f); }

void BaseEventLoop::run() {
    while (!m_stopped) {
        std::any event;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return !m_queue.empty() || m_stopped; });
            if (m_stopped) return;
            event = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const auto handlers = m_handlers.find(std::type_index(event.type()));
        if (handlers == m_handlers.end()) continue;
        for (const auto& handler : handlers->second) handler(event);
    }
}

void BaseEventLoop::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopped = true;
    }
    m_wake.notify_all();
}

} // namespace Nolvar
