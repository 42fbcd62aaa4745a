#pragma once
// A list of observers notified synchronously on the publishing thread.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Nolvar::Core {

template <class Handler>
class EventPublisher {
public:
    virtual void RegisterEventHandler(Handler* handler) = 0;
    virtual void UnregisterEventHandler(Handler* handler) = 0;
    virtual ~EventPublisher() = default;
};

// One notification at a time for the whole list; recursive, so a handler may publish again on its thread.
struct SyncExecutePolicy {
    std::recursive_mutex mutex;
};

// Handlers are called in the order of registration. A handler that has been unregistered is never called
// afterwards: unregistering waits until a call into that handler running on another thread has returned.
template <class Handler, class Policy>
class EventHandlerList : public EventPublisher<Handler> {
public:
    void RegisterEventHandler(Handler* handler) override {
        if (!handler) return;
        std::lock_guard lock(m_mutex);
        if (std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end()) m_handlers.push_back(handler);
    }

    void UnregisterEventHandler(Handler* handler) override {
        if (!handler) return;
        std::unique_lock lock(m_mutex);
        auto it = std::find(m_handlers.begin(), m_handlers.end(), handler);
        if (it != m_handlers.end()) m_handlers.erase(it);
        m_idle.wait(lock, [&] { return !CalledElsewhere(handler); });
    }

    // Calls `call(handler)` on every registered handler; an exception from a handler ends the round.
    template <class Call>
    void Notify(Call&& call) {
        std::vector<Handler*> handlers;
        {
            std::lock_guard lock(m_mutex);
            handlers = m_handlers;
        }
        std::lock_guard policyLock(m_policy.mutex);
        for (Handler* handler : handlers) {
            {
                std::lock_guard lock(m_mutex);
                if (std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end()) continue;
                m_active.push_back({handler, std::this_thread::get_id()});
            }
            struct Leave {
                EventHandlerList& list;
                Handler* handler;
                ~Leave() {
                    std::lock_guard lock(list.m_mutex);
                    auto it = std::find_if(list.m_active.begin(), list.m_active.end(), [&](const Active& a) {
                        return a.handler == handler && a.thread == std::this_thread::get_id();
                    });
                    if (it != list.m_active.end()) list.m_active.erase(it);
                    list.m_idle.notify_all();
                }
            } leave{*this, handler};
            call(handler);
        }
    }

private:
    struct Active {
        Handler* handler;
        std::thread::id thread;
    };

    bool CalledElsewhere(Handler* handler) const {
        return std::any_of(m_active.begin(), m_active.end(), [&](const Active& a) {
            return a.handler == handler && a.thread != std::this_thread::get_id();
        });
    }

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::vector<Handler*> m_handlers;
    std::vector<Active> m_active;
    Policy m_policy;
};

} // namespace Nolvar::Core
