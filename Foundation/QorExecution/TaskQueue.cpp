#include "QorExecution/TaskQueue.h"

#include <algorithm>
#include <exception>

#include <glog/logging.h>

namespace Nolvar::Core {

void TaskQueue::addTask(Task task, int priority) {
    {
        std::lock_guard lock(m_mutex);
        m_tasks.emplace(Key{-priority, m_nextBack++}, std::move(task));
    }
    raise(TaskQueueWorkAdded);
}

void TaskQueue::prependTask(Task task, int priority) {
    {
        std::lock_guard lock(m_mutex);
        m_tasks.emplace(Key{-priority, m_nextFront--}, std::move(task));
    }
    raise(TaskQueueWorkAdded);
}

std::optional<QueuedTask> TaskQueue::takeTask() {
    {
        std::lock_guard lock(m_mutex);
        if (!m_tasks.empty()) {
            auto first = m_tasks.begin();
            QueuedTask taken{std::move(first->second), -first->first.first, first->first.second};
            m_tasks.erase(first);
            return taken;
        }
    }
    raise(TaskQueueDrained);
    return std::nullopt;
}

void TaskQueue::taskFinished() { raise(TaskQueueWorkAdded); }

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
    std::lock_guard raising(m_raiseMutex);  // a handler that is being called is not destroyed under it
    std::lock_guard lock(m_mutex);
    m_handlers.erase(std::remove(m_handlers.begin(), m_handlers.end(), handler), m_handlers.end());
}

std::size_t TaskQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_tasks.size();
}

// Handlers run outside the queue's lock (they may use the queue), one event at a time. The raise lock is
// recursive: a handler that adds a task raises from inside a raise.
void TaskQueue::raise(std::int32_t code) {
    std::lock_guard raising(m_raiseMutex);
    std::vector<ITaskQueueEventHandler*> handlers;
    {
        std::lock_guard lock(m_mutex);
        handlers = m_handlers;
    }
    for (auto* handler : handlers) handler->onEvent(code);
}

} // namespace Nolvar::Core
