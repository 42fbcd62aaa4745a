#pragma once
// A queue that runs each task at once on the thread that adds it.
#include "QorExecution/ITaskQueue.h"

namespace Nolvar::Core {

class TaskQueueImmediate : public ITaskQueue {
public:
    void addTask(Task task, int) override { task(); }
    void prependTask(Task task, int) override { task(); }
    bool execOne() override { return false; }
    void subscribe(ITaskQueueEventHandler*) override {}
    void unsubscribe(ITaskQueueEventHandler*) override {}
    std::optional<QueuedTask> takeTask() override { return std::nullopt; }
    void taskFinished() override {}
};

} // namespace Nolvar::Core
