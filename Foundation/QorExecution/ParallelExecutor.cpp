#include "QorExecution/ParallelExecutor.h"

#include <exception>

#include <glog/logging.h>

namespace Nolvar::Core {

ParallelExecutor::ParallelExecutor(std::size_t threadCount) {
    if (threadCount == 0) threadCount = 1;
    m_workers.reserve(threadCount);
    for (std::size_t i = 0; i < threadCount; ++i) m_workers.emplace_back([this] { work(); });
}

ParallelExecutor::~ParallelExecutor() { abort(); }

int ParallelExecutor::execQueue(const std::shared_ptr<ITaskQueue>& queue) {
    int took = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_aborted) return 0;
    }
    while (auto taken = queue->takeTask()) {
        std::lock_guard lock(m_mutex);
        if (m_aborted) return took;
        m_pending.emplace(Key{-taken->priority, taken->order, m_arrivals++}, Pending{std::move(taken->task), queue});
        m_wake.notify_one();
        took = 1;
    }
    return took;
}

void ParallelExecutor::abort() {
    std::vector<std::thread> workers;
    std::map<Key, Pending> dropped;
    {
        std::unique_lock lock(m_mutex);
        m_aborted = true;
        dropped.swap(m_pending);
        m_wake.notify_all();
        // A task that aborts its own executor waits for the other running tasks only.
        std::size_t self = 0;
        for (const auto& worker : m_workers)
            if (worker.get_id() == std::this_thread::get_id()) self = 1;
        m_idle.wait(lock, [this, self] { return m_running <= self; });
        workers.swap(m_workers);
    }
    for (auto& worker : workers) {
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();  // abort called by one of our own tasks
        else
            worker.join();
    }
}

void ParallelExecutor::work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_aborted || !m_pending.empty(); });
        if (m_aborted) return;
        auto first = m_pending.begin();
        Pending next = std::move(first->second);
        m_pending.erase(first);
        ++m_running;
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
        --m_running;
        m_idle.notify_all();
    }
}

} // namespace Nolvar::Core
