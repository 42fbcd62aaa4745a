#pragma once
// Remembers the last event of the queues it watches and lets a thread wait for a given event.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "QorExecution/ITaskQueue.h"

namespace Nolvar::Core {

class TaskQueueWatcher : public ITaskQueueEventHandler {
public:
    explicit TaskQueueWatcher(ITaskQueue& queue);
    ~TaskQueueWatcher() override;
    TaskQueueWatcher(const TaskQueueWatcher&) = delete;
    TaskQueueWatcher& operator=(const TaskQueueWatcher&) = delete;

    // Also hears the events of another queue (which must outlive this watcher).
    void watch(ITaskQueue& queue);

    void onEvent(std::int32_t code) override;
    // Waits while running and the last event differs from `code`; with seconds >= 1 at most that long.
    void wait(std::int32_t code, int seconds = 0);
    // The same with a limit of any length; zero or less waits without a limit.
    void wait(std::int32_t code, std::chrono::milliseconds limit);
    // How many times work was added to the watched queues so far. A waiter that read it before looking at the
    // queues waits with waitForWorkAfter: no event in between is lost, and none seen before wakes it again.
    std::uint64_t workAddedCount() const;
    // Waits while running and no work was added since `seen`; with a positive limit at most that long.
    void waitForWorkAfter(std::uint64_t seen, std::chrono::milliseconds limit = std::chrono::milliseconds(0));
    // The same for work added or tasks finished: a finished task may have left a follow-up to do.
    std::uint64_t activityCount() const;
    void waitForActivityAfter(std::uint64_t seen);
    // Ends every wait, now and later.
    void stop();
    bool isRunning() const;
    std::int32_t lastEvent() const;

private:
    std::vector<ITaskQueue*> m_queues;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::int32_t m_lastEvent = 0;
    std::uint64_t m_workAdded = 0;
    std::uint64_t m_activity = 0;  // work added or tasks finished
    bool m_running = true;
};

} // namespace Nolvar::Core
