#pragma once
// Runs a queue's tasks on the calling thread until the queue is empty or the executor is aborted.
#include <atomic>

#include "QorExecution/IExecutor.h"

namespace Nolvar::Core {

class BlockingExecutor : public IExecutor {
public:
    int execQueue(const std::shared_ptr<ITaskQueue>& queue) override;
    void abort() override;

private:
    std::atomic<bool> m_aborted{false};
};

} // namespace Nolvar::Core
