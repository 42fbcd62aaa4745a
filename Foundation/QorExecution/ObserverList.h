#pragma once
// A list of observers called synchronously on the notifying thread, without any lock of the list held.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace Nolvar::Core {

// Observers are called in the order they were added; adding one twice adds nothing. Several threads may
// notify at once, and an observer may use the list (or notify again) while it is called. An observer that has
// been removed is never called afterwards: remove waits until a call into it on another thread has returned.
template <class Observer>
class ObserverList {
public:
    ObserverList() = default;
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    void add(Observer* observer) {
        if (!observer) return;
        std::lock_guard lock(m_mutex);
        if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
            m_observers.push_back(observer);
    }

    void remove(Observer* observer) {
        if (!observer) return;
        std::unique_lock lock(m_mutex);
        m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
        m_idle.wait(lock, [&] { return !calledElsewhere(observer); });
    }

    // Calls `call(observer)` on each observer present when it is its turn; an exception from an observer ends
    // the round and reaches the caller.
    template <class Call>
    void notify(Call&& call) {
        std::vector<Observer*> observers;
        {
            std::lock_guard lock(m_mutex);
            observers = m_observers;
        }
        for (Observer* observer : observers) {
            {
                std::lock_guard lock(m_mutex);
                if (std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) continue;
                m_active.push_back({observer, std::this_thread::get_id()});
            }
            Leave leave{*this, observer};
            call(observer);
        }
    }

private:
    struct Active {
        Observer* observer;
        std::thread::id thread;
    };

    // Ends one call into an observer, also when it throws.
    struct Leave {
        ObserverList& list;
        Observer* observer;
        ~Leave() {
            std::lock_guard lock(list.m_mutex);
            const auto self = std::this_thread::get_id();
            auto it = std::find_if(list.m_active.begin(), list.m_active.end(),
                                   [&](const Active& a) { return a.observer == observer && a.thread == self; });
            if (it != list.m_active.end()) list.m_active.erase(it);
            list.m_idle.notify_all();
        }
    };

    // A call on this thread does not hold up its own removal: an observer may remove itself.
    bool calledElsewhere(Observer* observer) const {
        const auto self = std::this_thread::get_id();
        return std::any_of(m_active.begin(), m_active.end(),
                           [&](const Active& a) { return a.observer == observer && a.thread != self; });
    }

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::vector<Observer*> m_observers;
    std::vector<Active> m_active;
};

} // namespace Nolvar::Core
