#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "logic/logic/EventLoop.h"
#include "logic/logic/Events.h"

using namespace Nolvar;
using namespace std::chrono_literals;

TEST(EventLoop, EventsPostedBeforeRunComeFirstInOrderAndUnknownTypesAreDropped) {
    EventLoop loop;
    std::vector<std::string> seen;
    loop.on<FinishDownload>([&](const FinishDownload& e) { seen.push_back("finish " + e.item.id); });
    loop.on<FinishDownload>([&](const FinishDownload& e) { seen.push_back("again " + e.item.id); });
    loop.on<StateChanged>([&](const StateChanged& e) {
        seen.push_back("state " + std::to_string(static_cast<int>(e.state)));
        if (e.state == RunState::Exit) loop.stop();
    });
    DownloadItem item;
    item.id = "config";
    loop.post(FinishDownload{item});
    loop.post(RetryPressed{}); // nobody handles it
    loop.post(StateChanged{RunState::Ready});
    loop.post(StateChanged{RunState::Exit});
    loop.post(StateChanged{RunState::Working}); // after the stop: never handled
    loop.run();
    EXPECT_EQ(seen, (std::vector<std::string>{"finish config", "again config", "state 1", "state 3"}));
}

TEST(EventLoop, PostsFromOtherThreadsAndFromHandlers) {
    EventLoop loop;
    int progress = 0;
    loop.on<UpdateProgressDownload>([&](const UpdateProgressDownload&) {
        if (++progress == 400) loop.post(StateChanged{RunState::Exit});
    });
    loop.on<StateChanged>([&](const StateChanged&) { loop.stop(); });
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t)
        posters.emplace_back([&] {
            for (int i = 0; i < 100; ++i) loop.post(UpdateProgressDownload{});
        });
    loop.run();
    for (auto& poster : posters) poster.join();
    EXPECT_EQ(progress, 400);
}

TEST(EventLoop, StopFromAnotherThreadWakesAWaitingLoop) {
    EventLoop loop;
    auto running = std::async(std::launch::async, [&] { loop.run(); });
    EXPECT_EQ(running.wait_for(200ms), std::future_status::timeout); // sleeps on an empty queue
    loop.stop();
    EXPECT_EQ(running.wait_for(5s), std::future_status::ready);
}

TEST(EventLoop, TimedEventsComeWhenDueInTheOrderOfTheirTimesBesidePlainPosts) {
    EventLoop loop;
    std::vector<std::string> seen;
    const auto start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::duration exitAfter{};
    loop.on<StateChanged>([&](const StateChanged& e) {
        seen.push_back("state " + std::to_string(static_cast<int>(e.state)));
        if (e.state == RunState::Exit) {
            exitAfter = std::chrono::steady_clock::now() - start;
            loop.stop();
        }
    });
    loop.on<RetryPressed>([&](const RetryPressed&) { seen.push_back("retry"); });
    loop.postAfter(400ms, StateChanged{RunState::Exit});
    loop.postAfter(200ms, StateChanged{RunState::Working});
    loop.post(StateChanged{RunState::Ready});
    auto poster = std::async(std::launch::async, [&] {
        std::this_thread::sleep_for(100ms);
        loop.post(RetryPressed{});
    });
    loop.run();
    EXPECT_EQ(seen, (std::vector<std::string>{"state 1", "retry", "state 2", "state 3"}));
    EXPECT_GE(exitAfter, 400ms);
    EXPECT_LT(exitAfter, 5s);
}

TEST(EventLoop, AHandlerExceptionLeavesRun) {
    EventLoop loop;
    loop.on<SelectFolderDialog>([](const SelectFolderDialog&) { throw std::runtime_error("boom"); });
    loop.post(SelectFolderDialog{});
    EXPECT_THROW(loop.run(), std::runtime_error);
}

TEST(DownloadItem, NewItemHasTheResetStateAndTheExtensionCheckFollowsItsKind) {
    DownloadItem item;
    EXPECT_EQ(item.state.status, App::IRemoteResource::Initial);
    EXPECT_EQ(item.state.networkError.code, 1001);
    EXPECT_FALSE(item.alreadyRequested);
    item.kind = DownloadKind::ProductInstaller;
    item.url = "https://cdn.example/setup.exe";
    EXPECT_TRUE(Util::ValidateResourceByExt(item));
    item.kind = DownloadKind::SplashImage;
    EXPECT_FALSE(Util::ValidateResourceByExt(item));
}
