// The interval timer: ticks on its own thread at about its interval, stops promptly, restarts, logs its steps.
#include "utils/win/Timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "testing/LogCapture.h"

namespace {

using namespace std::chrono_literals;
using Nolvar::Timer;

template <class Done>
bool WaitFor(Done done, std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TEST(TimerTest, TicksAtItsIntervalOnAnotherThreadUntilStopped) {
    std::atomic<int> ticks{0};
    std::atomic<bool> onOtherThread{true};
    const auto caller = std::this_thread::get_id();
    Timer timer(50, [&] {
        if (std::this_thread::get_id() == caller) onOtherThread = false;
        ++ticks;
    });
    std::this_thread::sleep_for(120ms);
    EXPECT_EQ(ticks, 0) << "no tick before Start";

    const auto started = std::chrono::steady_clock::now();
    timer.Start();
    ASSERT_TRUE(WaitFor([&] { return ticks >= 5; }));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, 240ms) << "five ticks of 50 ms take at least 250 ms";
    EXPECT_TRUE(onOtherThread);

    timer.Stop();
    std::this_thread::sleep_for(100ms);
    const int afterStop = ticks;
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(ticks, afterStop);
}

TEST(TimerTest, StopDuringACallbackLetsItFinishAndNoneFollows) {
    std::atomic<int> entered{0};
    std::atomic<int> finished{0};
    std::atomic<bool> release{false};
    Timer timer(1, [&] {
        ++entered;
        while (!release) std::this_thread::sleep_for(1ms);
        ++finished;
    });
    timer.Start();
    ASSERT_TRUE(WaitFor([&] { return entered == 1; }));
    timer.Stop();
    release = true;
    ASSERT_TRUE(WaitFor([&] { return finished == 1; }));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(entered, 1);
}

TEST(TimerTest, StartWhileRunningDoesNothingAndStopThenStartRunsAgain) {
    std::atomic<int> ticks{0};
    Testing::LogCapture log;
    Timer timer(5, [&] { ++ticks; });
    timer.Start();
    timer.Start();
    ASSERT_TRUE(WaitFor([&] { return ticks >= 2; }));
    timer.Stop();
    timer.Start();
    const int restartedAt = ticks;
    ASSERT_TRUE(WaitFor([&] { return ticks >= restartedAt + 2; }));

    int starts = 0;
    for (const auto& line : log.lines())
        if (line == "Timer trying to start") ++starts;
    EXPECT_EQ(starts, 2) << "a Start on a running timer logs nothing";
}

TEST(TimerTest, LogsItsStepsInOrder) {
    Testing::LogCapture log;
    {
        Timer timer(10, [] {});
        timer.Start();
        timer.Stop();
        std::this_thread::sleep_for(200ms);  // the worker logs its end on its own thread
    }
    std::vector<std::string> steps;
    for (const auto& line : log.lines())
        if (line.rfind("Timer ", 0) == 0) steps.push_back(line);
    const std::vector<std::string> expected{"Timer created", "Timer trying to start", "Timer started",
                                            "Timer trying to stop", "Timer stopped",  "Timer trying to stop",
                                            "Timer removed"};
    EXPECT_EQ(steps, expected);
}

TEST(TimerTest, DestroyingATimerMidTickWaitsForTheTickAndEndsTheThread) {
    std::atomic<bool> inTick{false};
    std::atomic<bool> tickDone{false};
    auto timer = std::make_unique<Timer>(1, [&] {
        inTick = true;
        std::this_thread::sleep_for(100ms);
        tickDone = true;
    });
    timer->Start();
    ASSERT_TRUE(WaitFor([&] { return inTick.load(); }));
    timer.reset();
    EXPECT_TRUE(tickDone);
}

TEST(TimerTest, ACallbackThatThrowsIsLoggedAndTheTimerGoesOn) {
    Testing::LogCapture log;
    std::atomic<int> ticks{0};
    Timer timer(1, [&] {
        ++ticks;
        throw std::runtime_error("tick failed");
    });
    timer.Start();
    ASSERT_TRUE(WaitFor([&] { return ticks >= 3; }));
    timer.Stop();
    EXPECT_TRUE(log.contains("tick failed", google::GLOG_ERROR));
}

} // namespace
