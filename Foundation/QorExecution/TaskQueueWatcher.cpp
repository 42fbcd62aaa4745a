#include "QorExecution/TaskQueueWatcher.h"

#include <chrono>

namespace Nolvar::Core {

TaskQueueWatcher::TaskQueueWatcher(ITaskQueue& queue) { watch(queue); }

TaskQueueWatcher::~TaskQueueWatcher() {
    for (auto* queue : m_queues) queue->unsubscribe(this);
}

void TaskQueueWatcher::watch(ITaskQueue& queue) {
    m_queues.push_back(&queue);
    queue.subscribe(this);
}

void TaskQueueWatcher::onEvent(std::int32_t code) {
    std::lock_guard lock(m_mutex);
    m_lastEvent = code;
    if (code == TaskQueueWorkAdded) ++m_workAdded;
    if (code == TaskQueueWorkAdded || code == TaskQueueTaskFinished) ++m_activity;
    m_changed.notify_all();
}

void TaskQueueWatcher::wait(std::int32_t code, int seconds) {
    wait(code, std::chrono::milliseconds(seconds >= 1 ? seconds * 1000LL : 0));
}

void TaskQueueWatcher::wait(std::int32_t code, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    auto done = [&] { return !m_running || m_lastEvent == code; };
    if (limit.count() > 0)
        m_changed.wait_for(lock, limit, done);
    else
        m_changed.wait(lock, done);
}

std::uint64_t TaskQueueWatcher::workAddedCount() const {
    std::lock_guard lock(m_mutex);
    return m_workAdded;
}

void TaskQueueWatcher::waitForWorkAfter(std::uint64_t seen, std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    auto done = [&] { return !m_running || m_workAdded != seen; };
    if (limit.count() > 0)
        m_changed.wait_for(lock, limit, done);
    else
        m_changed.wait(lock, done);
}

std::uint64_t TaskQueueWatcher::activityCount() const {
    std::lock_guard lock(m_mutex);
    return m_activity;
}

void TaskQueueWatcher::waitForActivityAfter(std::uint64_t seen) {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_running || m_activity != seen; });
}

void TaskQueueWatcher::stop() {
    std::lock_guard lock(m_mutex);
    m_running = false;
    m_changed.notify_all();
}

bool TaskQueueWatcher::isRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

std::int32_t TaskQueueWatcher::lastEvent() const {
    std::lock_guard lock(m_mutex);
    return m_lastEvent;
}

} // namespace Nolvar::Core
