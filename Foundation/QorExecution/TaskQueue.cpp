#include "QorExecution/TaskQueue.h"

#include <algorithm>
#include <exception>

#include <glog/logging.h>

namespace Nolvar::Core {

void TaskQueue::addTask(Task task, int priority) {
    std::lock_guard lock(m_mutex);
    insert(std::move(task), priority, m_nextBack++);
}

void TaskQueue::prependTask(Task task, int priority) {
    std::lock_guard lock(m_mutex);
    insert(std::move(task), priority, m_nextFront--);
}

void TaskQueue::insert(Task task, int priority, std::int64_t order) {
    m_tasks.emplace(Key{-priority, order}, std::move(task));
    raise(TaskQueueWorkAdded);
}

std::optional<QueuedTask> TaskQueue::takeTask() {
    std::lock_guard lock(m_mutex);
    if (m_tasks.empty()) {
        raise(TaskQueueDrained);
        return std::nullopt;
    }
    auto first = m_tasks.begin();
    QueuedTask taken{std::move(first->second), -first->first.first, first->first.second};
    m_tasks.erase(first);
    return taken;
}

void TaskQueue::taskFinished() {
    std::lock_guard lock(m_mutex);
    raise(TaskQueueWorkAdded);
}

bool TaskQueue::execOne() {
    auto taken = takeTask();
    if (!taken) return false;
    try {
        taken->task();
    } catch (const std::exception& e) {
        LOG(ERROR) << "Task failed: " << e.what();
    } catch (...) {
        LOG(ERROR) << "Task failed with an unknown exception";
    }
    taskFinished();
    return true;
}

void TaskQueue::subscribe(ITaskQueueEventHandler* handler) {
    std::lock_guard lock(m_mutex);
    if (std::find(m_handlers.begin(), m_handlers.end(), handler) == m_handlers.end()) m_handlers.push_back(handler);
}

void TaskQueue::unsubscribe(ITaskQueueEventHandler* handler) {
    std::lock_guard lock(m_mutex);
    m_handlers.erase(std::remove(m_handlers.begin(), m_handlers.end(), handler), m_handlers.end());
}

std::size_t TaskQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_tasks.size();
}

// Events are raised under the queue's mutex so that they reach the handlers in the order the queue changed.
void TaskQueue::raise(std::int32_t code) {
    for (auto* handler : m_handlers) handler->onEvent(code);
}

} // namespace Nolvar::Core
