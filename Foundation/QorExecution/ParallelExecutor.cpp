#include "QorExecution/ParallelExecutor.h"

#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <tuple>

#include <glog/logging.h>

namespace Nolvar::Core {

// What the workers share with the executor; a worker holds it too, so nothing it touches after its task can
// be gone.
struct ParallelExecutor::Shared {
    struct Pending {
        Task task;
        std::shared_ptr<ITaskQueue> source;
    };
    using Key = std::tuple<int, std::int64_t, std::uint64_t>;  // (-priority, order in its queue, arrival)

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::map<Key, Pending> pending;
    std::uint64_t arrivals = 0;
    std::size_t running = 0;
    bool aborted = false;
    std::vector<std::thread::id> workerIds;

    static void Work(const std::shared_ptr<Shared>& shared) {
        std::unique_lock lock(shared->mutex);
        for (;;) {
            shared->wake.wait(lock, [&] { return shared->aborted || !shared->pending.empty(); });
            if (shared->aborted) return;
            auto first = shared->pending.begin();
            Pending next = std::move(first->second);
            shared->pending.erase(first);
            ++shared->running;
            lock.unlock();
            try {
                next.task();
            } catch (const std::exception& e) {
                LOG(ERROR) << "Task failed: " << e.what();
            } catch (...) {
                LOG(ERROR) << "Task failed with an unknown exception";
            }
            next.task = nullptr;
            next.source->taskFinished();
            next.source.reset();
            lock.lock();
            --shared->running;
            shared->idle.notify_all();
        }
    }
};

ParallelExecutor::ParallelExecutor(std::size_t threadCount) : m_shared(std::make_shared<Shared>()) {
    if (threadCount == 0) threadCount = 1;
    m_workers.reserve(threadCount);
    std::lock_guard lock(m_shared->mutex);
    for (std::size_t i = 0; i < threadCount; ++i) {
        m_workers.emplace_back([shared = m_shared] { Shared::Work(shared); });
        m_shared->workerIds.push_back(m_workers.back().get_id());
    }
}

ParallelExecutor::~ParallelExecutor() {
    abort();
    for (auto& worker : m_workers) {
        if (!worker.joinable()) continue;
        if (worker.get_id() == std::this_thread::get_id()) {
            // Destroyed by its own task: the worker cannot join itself. It ends when the task returns and
            // touches nothing but the shared state it co-owns.
            LOG(WARNING) << "Executor destroyed by one of its own tasks";
            worker.detach();
        } else {
            worker.join();
        }
    }
}

bool ParallelExecutor::isOwnWorker(std::thread::id id) const {
    for (const auto& workerId : m_shared->workerIds)
        if (workerId == id) return true;
    return false;
}

int ParallelExecutor::execQueue(const std::shared_ptr<ITaskQueue>& queue) {
    int took = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->aborted) return 0;
    }
    while (auto taken = queue->takeTask()) {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->aborted) return took;
        m_shared->pending.emplace(Shared::Key{-taken->priority, taken->order, m_shared->arrivals++},
                                  Shared::Pending{std::move(taken->task), queue});
        m_shared->wake.notify_one();
        took = 1;
    }
    return took;
}

void ParallelExecutor::abort() {
    std::map<Shared::Key, Shared::Pending> dropped;
    bool self = false;
    {
        std::unique_lock lock(m_shared->mutex);
        m_shared->aborted = true;
        dropped.swap(m_shared->pending);
        m_shared->wake.notify_all();
        // A task that aborts its own executor waits for the other running tasks only.
        self = isOwnWorker(std::this_thread::get_id());
        const std::size_t own = self ? 1 : 0;
        m_shared->idle.wait(lock, [&] { return m_shared->running <= own; });
    }
    if (self) return;  // the owner's later abort or the destructor joins the workers
    for (auto& worker : m_workers)
        if (worker.joinable()) worker.join();
}

} // namespace Nolvar::Core
