#pragma once
// A queue of tasks with priorities, and the events it reports to its subscribers.
#include <cstdint>
#include <functional>
#include <optional>

namespace Nolvar::Core {

using Task = std::function<void()>;

// Priorities: 1 (low) to 3 (high); higher priorities run first, first-in first-out within one priority.
enum TaskPriority : int { PriorityLow = 1, PriorityNormal = 2, PriorityHigh = 3 };

// Event codes a queue reports.
enum TaskQueueEvent : std::int32_t {
    // Work was added.
    TaskQueueWorkAdded = 1,
    // Someone looked for work and the queue had none left.
    TaskQueueDrained = 2,
    // A task taken from the queue has finished (its follow-up may be due).
    TaskQueueTaskFinished = 3,
};

class ITaskQueueEventHandler {
public:
    virtual ~ITaskQueueEventHandler() = default;
    virtual void onEvent(std::int32_t code) = 0;
};

// A task taken out of a queue to run elsewhere; `order` ranks it within its priority (lower first).
struct QueuedTask {
    Task task;
    int priority = PriorityNormal;
    std::int64_t order = 0;
};

class ITaskQueue {
public:
    virtual ~ITaskQueue() = default;
    virtual void addTask(Task task, int priority) = 0;
    // Puts the task at the head of its priority.
    virtual void prependTask(Task task, int priority) = 0;
    // Runs the next task on the calling thread; false when there was none.
    virtual bool execOne() = 0;
    virtual void subscribe(ITaskQueueEventHandler* handler) = 0;
    virtual void unsubscribe(ITaskQueueEventHandler* handler) = 0;

    // For executors: the next task in priority order, or none (then subscribers hear TaskQueueDrained).
    virtual std::optional<QueuedTask> takeTask() = 0;
    // For executors: a task taken with takeTask has finished (subscribers hear TaskQueueTaskFinished).
    virtual void taskFinished() = 0;
};

} // namespace Nolvar::Core
