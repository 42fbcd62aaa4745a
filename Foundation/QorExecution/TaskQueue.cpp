#include "QorExecution/TaskQueue.h"

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

void TaskQueue::taskFinished() { raise(TaskQueueTaskFinished); }

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

void TaskQueue::subscribe(ITaskQueueEventHandler* handler) { m_handlers.add(handler); }

// A handler being called on another thread has returned when this returns: it may be destroyed then.
void TaskQueue::unsubscribe(ITaskQueueEventHandler* handler) { m_handlers.remove(handler); }

std::size_t TaskQueue::size() const {
    std::lock_guard lock(m_mutex);
    return m_tasks.size();
}

// Handlers run with no lock of the queue held: they may use the queue, and one that waits for another thread's
// addition to the queue does not hold that addition up.
void TaskQueue::raise(std::int32_t code) {
    m_handlers.notify([code](ITaskQueueEventHandler* handler) { handler->onEvent(code); });
}

} // namespace Nolvar::Core
