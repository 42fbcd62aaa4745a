#pragma once
// Runs queued tasks on a fixed set of worker threads, highest priority first.
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "QorExecution/IExecutor.h"

namespace Nolvar::Core {

class ParallelExecutor : public IExecutor {
public:
    explicit ParallelExecutor(std::size_t threadCount);
    ~ParallelExecutor() override;
    ParallelExecutor(const ParallelExecutor&) = delete;
    ParallelExecutor& operator=(const ParallelExecutor&) = delete;

    // Moves every queued task into the executor; free workers take them in priority order.
    int execQueue(const std::shared_ptr<ITaskQueue>& queue) override;
    // Drops the tasks not yet started and waits for the running ones; the workers end.
    void abort() override;

private:
    struct Pending {
        Task task;
        std::shared_ptr<ITaskQueue> source;
    };
    using Key = std::tuple<int, std::int64_t, std::uint64_t>;  // (-priority, order in its queue, arrival)

    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::map<Key, Pending> m_pending;
    std::uint64_t m_arrivals = 0;
    std::size_t m_running = 0;
    bool m_aborted = false;
    std::vector<std::thread> m_workers;
};

} // namespace Nolvar::Core
