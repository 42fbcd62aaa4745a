#pragma once
// Calls a function again and again at a fixed interval on a thread of its own until it is stopped. The next wait
// starts when the callback returns, so the period is the interval plus the callback's running time.
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace Nolvar {

class Timer {
public:
    Timer(int intervalMs, std::function<void()> callback);
    // Stops and joins the worker. Must not run on the timer's own thread (the worker is then left to end alone).
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // Starts the worker unless it runs; returns once the worker has begun. Joins an earlier, stopped worker first
    // (std::system_error resource_deadlock_would_occur when called from the worker itself).
    void Start();
    // Asks the worker to end at its next check; does not wait. A callback running now finishes; none follows.
    void Stop();

private:
    void run(std::promise<void>* begun);

    const int m_intervalMs;
    std::function<void()> m_callback;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = true;
};

} // namespace Nolvar
