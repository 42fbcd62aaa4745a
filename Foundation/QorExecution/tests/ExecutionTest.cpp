#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "QorExecution/BlockingExecutor.h"
#include "QorExecution/ParallelExecutor.h"
#include "QorExecution/TaskQueue.h"
#include "QorExecution/TaskQueueImmediate.h"
#include "QorExecution/TaskQueueWatcher.h"

using namespace Nolvar::Core;
using namespace std::chrono_literals;

namespace {

struct Order {
    std::mutex mutex;
    std::vector<int> ran;
    Task record(int id) {
        return [this, id] {
            std::lock_guard lock(mutex);
            ran.push_back(id);
        };
    }
};

struct EventLog : ITaskQueueEventHandler {
    std::vector<std::int32_t> codes;
    void onEvent(std::int32_t code) override { codes.push_back(code); }
};

} // namespace

TEST(TaskQueue, RunsHigherPrioritiesFirstAndPrependsAtTheHeadOfItsPriority) {
    auto queue = std::make_shared<TaskQueue>();
    Order order;
    queue->addTask(order.record(1), PriorityLow);
    queue->addTask(order.record(2), PriorityNormal);
    queue->addTask(order.record(3), PriorityHigh);
    queue->addTask(order.record(4), PriorityNormal);
    queue->prependTask(order.record(5), PriorityNormal);
    queue->prependTask(order.record(6), PriorityNormal);
    BlockingExecutor executor;
    EXPECT_EQ(executor.execQueue(queue), 1);
    EXPECT_EQ(order.ran, (std::vector<int>{3, 6, 5, 2, 4, 1}));
    EXPECT_EQ(executor.execQueue(queue), 0);
}

TEST(TaskQueue, ReportsWorkAddedFinishedAndDrained) {
    TaskQueue queue;
    EventLog log;
    queue.subscribe(&log);
    queue.addTask([] {}, PriorityNormal);
    EXPECT_TRUE(queue.execOne());
    EXPECT_FALSE(queue.execOne());
    EXPECT_EQ(log.codes, (std::vector<std::int32_t>{TaskQueueWorkAdded, TaskQueueWorkAdded, TaskQueueDrained}));
    queue.unsubscribe(&log);
    queue.addTask([] {}, PriorityNormal);
    EXPECT_EQ(log.codes.size(), 3u);
}

TEST(TaskQueue, ImmediateQueueRunsOnTheCallingThread) {
    TaskQueueImmediate queue;
    std::thread::id ranOn;
    queue.addTask([&] { ranOn = std::this_thread::get_id(); }, PriorityNormal);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(queue.execOne());
}

TEST(BlockingExecutor, StopsTakingTasksOnceAborted) {
    auto queue = std::make_shared<TaskQueue>();
    BlockingExecutor executor;
    int ran = 0;
    queue->addTask([&] { ++ran; executor.abort(); }, PriorityNormal);
    queue->addTask([&] { ++ran; }, PriorityNormal);
    executor.execQueue(queue);
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(queue->size(), 1u);
}

TEST(ParallelExecutor, FreeWorkerTakesTasksInPriorityOrder) {
    auto queue = std::make_shared<TaskQueue>();
    ParallelExecutor executor(1);
    std::promise<void> release;
    auto released = release.get_future().share();
    std::promise<void> started;
    queue->addTask([&] { started.set_value(); released.wait(); }, PriorityLow);
    EXPECT_EQ(executor.execQueue(queue), 1);
    started.get_future().wait();

    Order order;
    queue->addTask(order.record(1), PriorityLow);
    queue->addTask(order.record(2), PriorityNormal);
    queue->addTask(order.record(3), PriorityHigh);
    EXPECT_EQ(executor.execQueue(queue), 1);
    // Queued after the others were handed to the executor: still ahead of lower priorities.
    queue->prependTask(order.record(4), PriorityHigh);
    queue->addTask(order.record(5), PriorityNormal);
    EXPECT_EQ(executor.execQueue(queue), 1);
    EXPECT_EQ(executor.execQueue(queue), 0);
    release.set_value();

    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard lock(order.mutex);
            if (order.ran.size() == 5) break;
        }
        std::this_thread::sleep_for(10ms);
    }
    std::lock_guard lock(order.mutex);
    EXPECT_EQ(order.ran, (std::vector<int>{4, 3, 2, 5, 1}));
}

TEST(ParallelExecutor, AbortDropsWaitingTasksAndWaitsForRunningOnes) {
    auto queue = std::make_shared<TaskQueue>();
    auto executor = std::make_unique<ParallelExecutor>(2);
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<int> dropped{0};
    for (int i = 0; i < 2; ++i)
        queue->addTask([&] {
            ++started;
            std::this_thread::sleep_for(300ms);
            ++finished;  // touches its state after the sleep
        }, PriorityHigh);
    for (int i = 0; i < 3; ++i) queue->addTask([&] { ++dropped; }, PriorityLow);
    executor->execQueue(queue);
    while (started < 2) std::this_thread::sleep_for(5ms);

    executor->abort();
    EXPECT_EQ(finished.load(), 2);
    EXPECT_EQ(dropped.load(), 0);

    queue->addTask([&] { ++dropped; }, PriorityHigh);
    EXPECT_EQ(executor->execQueue(queue), 0);
    executor.reset();
    EXPECT_EQ(dropped.load(), 0);
}

TEST(ParallelExecutor, WakesTheWatcherWhenATaskFinishesWithoutSpinning) {
    auto queue = std::make_shared<TaskQueue>();
    TaskQueueWatcher watcher(*queue);
    EXPECT_NE(watcher.lastEvent(), TaskQueueWorkAdded);
    ParallelExecutor executor(2);
    std::promise<void> release;
    auto released = release.get_future().share();
    queue->addTask([&] { released.wait(); }, PriorityNormal);
    EXPECT_EQ(executor.execQueue(queue), 1);
    // The queue is drained: the watcher's untimed wait would block now.
    EXPECT_EQ(watcher.lastEvent(), TaskQueueDrained);

    std::thread finisher([&] {
        std::this_thread::sleep_for(100ms);
        release.set_value();
    });
    auto before = std::chrono::steady_clock::now();
    watcher.wait(TaskQueueWorkAdded);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 80ms);
    finisher.join();
}

TEST(ParallelExecutor, TaskThatThrowsDoesNotEndTheWorker) {
    auto queue = std::make_shared<TaskQueue>();
    ParallelExecutor executor(1);
    std::promise<void> done;
    queue->addTask([] { throw std::runtime_error("task failure"); }, PriorityHigh);
    queue->addTask([&] { done.set_value(); }, PriorityLow);
    executor.execQueue(queue);
    EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
}

TEST(TaskQueueWatcher, TimedWaitEndsAfterItsTimeAndStopEndsEveryWait) {
    TaskQueue queue;
    TaskQueueWatcher watcher(queue);
    auto before = std::chrono::steady_clock::now();
    watcher.wait(TaskQueueWorkAdded, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 900ms);

    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        watcher.stop();
    });
    watcher.wait(TaskQueueWorkAdded);
    EXPECT_FALSE(watcher.isRunning());
    stopper.join();
}
