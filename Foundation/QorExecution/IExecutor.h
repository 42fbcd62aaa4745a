#pragma once
#include <memory>

#include "QorExecution/ITaskQueue.h"

namespace Nolvar::Core {

class IExecutor {
public:
    virtual ~IExecutor() = default;
    // Takes the queue's tasks to run; 1 when at least one task was taken, else 0.
    virtual int execQueue(const std::shared_ptr<ITaskQueue>& queue) = 0;
    // Refuses further work; returns when no task of this executor runs any more.
    virtual void abort() = 0;
};

} // namespace Nolvar::Core
