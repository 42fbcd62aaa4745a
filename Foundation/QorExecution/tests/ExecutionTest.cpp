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
    EXPECT_EQ(log.codes, (std::vector<std::int32_t>{TaskQueueWorkAdded, TaskQueueTaskFinished, TaskQueueDrained}));
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
    watcher.wait(TaskQueueTaskFinished);
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

TEST(TaskQueue, HandlersMayUseTheQueueWhileTheyAreCalled) {
    // A handler that asks the queue for its size, and adds one follow-up task, from inside the event.
    struct Reentrant : ITaskQueueEventHandler {
        TaskQueue* queue = nullptr;
        std::atomic<int> calls{0};
        bool added = false;
        void onEvent(std::int32_t code) override {
            ++calls;
            (void)queue->size();
            if (code == TaskQueueWorkAdded && !added) {
                added = true;
                queue->addTask([] {}, PriorityLow);
            }
        }
    };
    auto run = std::make_shared<std::promise<std::size_t>>();
    auto result = run->get_future();
    // Detached: a queue that deadlocks its own handler would block this thread for good.
    std::thread([run] {
        TaskQueue queue;
        Reentrant handler;
        handler.queue = &queue;
        queue.subscribe(&handler);
        queue.addTask([] {}, PriorityNormal);
        while (queue.execOne()) {
        }
        queue.unsubscribe(&handler);
        run->set_value(queue.size());
    }).detach();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready) << "a handler using its queue blocked";
    EXPECT_EQ(result.get(), 0u);
}

TEST(TaskQueue, AHandlerWaitingForAnotherThreadsAdditionDoesNotHoldItUp) {
    // The first event's handler waits until another thread's addTask has returned; that addition tells the
    // handlers too, so a queue that calls them under a lock of its own never lets it return.
    struct Waiting : ITaskQueueEventHandler {
        std::promise<void> otherAdded;
        std::shared_future<void> added = otherAdded.get_future().share();
        std::atomic<int> calls{0};
        std::atomic<bool> sawTheAddition{false};
        void onEvent(std::int32_t) override {
            if (++calls == 1) sawTheAddition = added.wait_for(10s) == std::future_status::ready;
        }
    };
    auto run = std::make_shared<std::promise<bool>>();
    auto result = run->get_future();
    // Detached: a deadlocked queue would block this thread for good.
    std::thread([run] {
        TaskQueue queue;
        Waiting handler;
        queue.subscribe(&handler);
        std::thread other([&] {
            while (handler.calls == 0) std::this_thread::yield();
            queue.addTask([] {}, PriorityNormal);
            handler.otherAdded.set_value();
        });
        queue.addTask([] {}, PriorityNormal);
        other.join();
        queue.unsubscribe(&handler);
        run->set_value(handler.sawTheAddition && queue.size() == 2);
    }).detach();
    ASSERT_EQ(result.wait_for(20s), std::future_status::ready) << "the queue called its handler under a lock";
    EXPECT_TRUE(result.get());
}

TEST(TaskQueue, UnsubscribeWaitsForACallOnAnotherThread) {
    // After unsubscribe returns, the handler may be destroyed: a call into it that had begun has ended.
    struct Slow : ITaskQueueEventHandler {
        std::atomic<bool> inside{false};
        std::atomic<bool> left{false};
        void onEvent(std::int32_t) override {
            inside = true;
            std::this_thread::sleep_for(100ms);
            left = true;
        }
    };
    TaskQueue queue;
    Slow handler;
    queue.subscribe(&handler);
    std::thread adder([&] { queue.addTask([] {}, PriorityNormal); });
    while (!handler.inside) std::this_thread::yield();
    queue.unsubscribe(&handler);
    EXPECT_TRUE(handler.left);
    adder.join();
}

TEST(TaskQueueWatcher, WorkAddedToEitherQueueIsNeverLostAmongOtherEvents) {
    // One watcher over two queues, as the download library's loop has: an addition to one queue followed by
    // the other queue reporting itself drained must still wake a waiter that read the count before.
    for (int trial = 0; trial < 300; ++trial) {
        TaskQueue first, second;
        TaskQueueWatcher watcher(first);
        watcher.watch(second);
        const std::uint64_t seen = watcher.workAddedCount();
        std::thread adder([&] { first.addTask([] {}, PriorityNormal); });
        std::thread drainer([&] { EXPECT_FALSE(second.execOne()); });
        adder.join();
        drainer.join();
        const auto before = std::chrono::steady_clock::now();
        watcher.waitForWorkAfter(seen, 5s);
        ASSERT_LT(std::chrono::steady_clock::now() - before, 1s) << "wake-up lost in trial " << trial;
    }
}

TEST(TaskQueueWatcher, WaitForNewWorkDoesNotReturnForWorkAlreadySeen) {
    TaskQueue queue;
    TaskQueueWatcher watcher(queue);
    queue.addTask([] {}, PriorityNormal);
    EXPECT_EQ(watcher.lastEvent(), TaskQueueWorkAdded);
    const std::uint64_t seen = watcher.workAddedCount();
    const auto before = std::chrono::steady_clock::now();
    watcher.waitForWorkAfter(seen, 300ms);
    EXPECT_GE(std::chrono::steady_clock::now() - before, 250ms);
}

TEST(ParallelExecutor, AbortFromItsOwnTaskLeavesNoWorkerBehindTheExecutor) {
    auto queue = std::make_shared<TaskQueue>();
    auto* executor = new ParallelExecutor(2);
    std::promise<void> aborted;
    std::atomic<bool> taskEnded{false};
    queue->addTask([&] {
        executor->abort();
        aborted.set_value();
        std::this_thread::sleep_for(200ms);  // still running when the owner destroys the executor
        taskEnded = true;
    }, PriorityNormal);
    executor->execQueue(queue);
    ASSERT_EQ(aborted.get_future().wait_for(10s), std::future_status::ready);
    delete executor;
    EXPECT_TRUE(taskEnded.load()) << "the executor was destroyed while its worker still ran";
}
