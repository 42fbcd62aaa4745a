#include "utils/win/Timer.h"

#include <chrono>
#include <system_error>

#include <glog/logging.h>

namespace Nolvar {
namespace {

std::chrono::steady_clock::time_point DeadlineAfter(int intervalMs) {
    const auto now = std::chrono::steady_clock::now();
    if (intervalMs <= 0) return now;
    const auto interval = std::chrono::milliseconds(intervalMs);
    if (std::chrono::steady_clock::time_point::max() - now < interval) return std::chrono::steady_clock::time_point::max();
    return now + interval;
}

} // namespace

Timer::Timer(int intervalMs, std::function<void()> callback)
    : m_intervalMs(intervalMs), m_callback(std::move(callback)) {
    LOG(INFO) << "Timer created";
}

Timer::~Timer() {
    Stop();
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            LOG(ERROR) << "Timer destroyed from its own callback; the worker ends by itself";
            m_thread.detach();
        } else {
            m_thread.join();
        }
    }
    LOG(INFO) << "Timer removed";
}

void Timer::Start() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_stopped) return;
    }
    LOG(INFO) << "Timer trying to start";
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id())
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        m_thread.join();
    }
    std::promise<void> begun;
    auto started = begun.get_future();
    m_thread = std::thread(&Timer::run, this, &begun);
    started.wait();
}

void Timer::Stop() {
    LOG(INFO) << "Timer trying to stop";
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
    }
    m_wake.notify_all();
}

void Timer::run(std::promise<void>* begun) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = false;
    }
    LOG(INFO) << "Timer started";
    begun->set_value();
    for (;;) {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto deadline = DeadlineAfter(m_intervalMs);
        if (m_wake.wait_until(lock, deadline, [this] { return m_stopped; })) {
            lock.unlock();
            LOG(INFO) << "Timer stopped";
            return;
        }
        lock.unlock();
        try {
            m_callback();
        } catch (const std::exception& e) {
            LOG(ERROR) << "Timer callback failed: " << e.what();
        } catch (...) {
            LOG(ERROR) << "Timer callback failed with an unknown exception";
        }
    }
}

} // namespace Nolvar
