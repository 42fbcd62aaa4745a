#pragma once
// Runs queued tasks on a fixed set of worker threads, highest priority first.
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "QorExecution/IExecutor.h"

namespace Nolvar::Core {

class ParallelExecutor : public IExecutor {
public:
    explicit ParallelExecutor(std::size_t threadCount);
    // Aborts, then joins every worker, also one whose task called abort.
    ~ParallelExecutor() override;
    ParallelExecutor(const ParallelExecutor&) = delete;
    ParallelExecutor& operator=(const ParallelExecutor&) = delete;

    // Moves every queued task into the executor; free workers take them in priority order.
    int execQueue(const std::shared_ptr<ITaskQueue>& queue) override;
    // Drops the tasks not yet started and waits for the running ones; the workers end. Called from one of the
    // executor's own tasks it waits for the other tasks; that worker ends when its task returns and is joined by
    // the destructor.
    void abort() override;

private:
    struct Shared;

    bool isOwnWorker(std::thread::id id) const;

    std::shared_ptr<Shared> m_shared;
    std::vector<std::thread> m_workers;  // touched only by the owner's calls
};

} // namespace Nolvar::Core
