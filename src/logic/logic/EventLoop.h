#pragma once
// A queue of typed events dispatched on the thread that runs the loop.
#include <any>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <typeindex>
#include <unordered_map>
#include <vector>

namespace Nolvar {

class BaseEventLoop {
public:
    BaseEventLoop();
    virtual ~BaseEventLoop() = default;
    BaseEventLoop(const BaseEventLoop&) = delete;
    BaseEventLoop& operator=(const BaseEventLoop&) = delete;

    // Adds a handler for events of type Event. Register every handler before run().
    template <class Event, class Handler>
    void on(Handler handler) {
        std::lock_guard lock(m_mutex);
        m_handlers[std::type_index(typeid(Event))].push_back(
            [handler = std::move(handler)](const std::any& event) { handler(std::any_cast<const Event&>(event)); });
    }

    // Queues a copy of the event; any thread, any time (after stop() it is never handled).
    template <class Event>
    void post(Event event) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.emplace_back(std::move(event));
        }
        m_wake.notify_all();
    }

    // Queues a copy of the event once `delay` has passed (measured from now, also when the loop runs later).
    template <class Event>
    void postAfter(std::chrono::steady_clock::duration delay, Event event) {
        {
            std::lock_guard lock(m_mutex);
            m_timed.push_back({std::chrono::steady_clock::now() + delay, std::any(std::move(event))});
        }
        m_wake.notify_all();
    }

    // Handles events in posting order until stop(); a timed event joins the queue when it falls due. Events still
    // queued then are dropped. A handler's exception leaves run().
    void run();
    void stop();
    bool stopped() const { return m_stopped; }
    // Returns true once the running loop waits with nothing queued (timed events not yet due do not count) or has
    // stopped; false when `limit` passes first.
    bool waitUntilIdle(std::chrono::steady_clock::duration limit);

private:
    std::unordered_map<std::type_index, std::vector<std::function<void(const std::any&)>>> m_handlers;
    struct TimedEvent {
        std::chrono::steady_clock::time_point due;
        std::any event;
    };
    // Moves the timed events that are due to the queue, earliest first; the earliest still to come, if any.
    std::chrono::steady_clock::time_point QueueDueEvents(std::chrono::steady_clock::time_point now);

    std::deque<std::any> m_queue;
    std::vector<TimedEvent> m_timed;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    bool m_waiting = false;   // run() waits for an event
    std::atomic<bool> m_stopped{false};
};

class EventLoop : public BaseEventLoop {};

} // namespace Nolvar
