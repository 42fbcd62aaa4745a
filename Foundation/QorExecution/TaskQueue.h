#pragma once
// The task queue the executors drain: ordered by priority, then by arrival (prepended tasks first).
#include <map>
#include <mutex>
#include <utility>

#include "QorExecution/ITaskQueue.h"
#include "QorExecution/ObserverList.h"

namespace Nolvar::Core {

class TaskQueue : public ITaskQueue {
public:
    TaskQueue() = default;
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;

    void addTask(Task task, int priority) override;
    void prependTask(Task task, int priority) override;
    bool execOne() override;
    void subscribe(ITaskQueueEventHandler* handler) override;
    void unsubscribe(ITaskQueueEventHandler* handler) override;
    std::optional<QueuedTask> takeTask() override;
    void taskFinished() override;

    std::size_t size() const;

private:
    using Key = std::pair<int, std::int64_t>;  // (-priority, order)

    // Tells the handlers; called without m_mutex held.
    void raise(std::int32_t code);

    mutable std::mutex m_mutex;
    std::map<Key, Task> m_tasks;
    std::int64_t m_nextBack = 0;
    std::int64_t m_nextFront = -1;
    ObserverList<ITaskQueueEventHandler> m_handlers;
};

} // namespace Nolvar::Core
