// The facade's event loop: no lost wake-ups between its two queues, no busy waiting while it aborts.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "App/Fetchwell/IResourceDownloader.h"
#include "QorNetworking/IProxyProvider.h"
#include "FetchwellClient.h"

using namespace FetchwellTesting;
using namespace std::chrono_literals;
using App::IRemoteResource;
using Clock = std::chrono::steady_clock;

namespace {

// Downloads nothing. A path starting with "slow" takes `slowFor` whatever abort says; "wait" runs until abort.
struct ScriptedDownloader : App::IResourceDownloader {
    std::atomic<bool> aborted{false};
    std::atomic<int> running{0};
    std::chrono::milliseconds slowFor{1500};

    ResultTask exec(Task task) override {
        ++running;
        const std::string& path = task.descriptor->serverRelativePath;
        if (path.rfind("slow", 0) == 0) std::this_thread::sleep_for(slowFor);
        if (path.rfind("wait", 0) == 0)
            while (!aborted.load()) std::this_thread::sleep_for(10ms);
        --running;
        return {aborted ? CancelledOrHandled : Done, {}};
    }
    void abort() override { aborted = true; }
    std::int64_t requestLastModified(const App::ResourceDescriptor*) override { return 0; }
};

double ProcessCpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](FILETIME t) {
        return static_cast<double>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

App::Fetchwell::Dependencies With(std::shared_ptr<ScriptedDownloader> downloader) {
    App::Fetchwell::Dependencies d;
    d.downloader = std::move(downloader);
    d.applicationTracker = new RecordingTracker;
    return d;
}

} // namespace

TEST(FetchwellLoop, AbortWaitingForARunningTaskDoesNotBusyWait) {
    Testing::TempFolder folder(L"netsetter-loop-");
    auto downloader = std::make_shared<ScriptedDownloader>();
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(4), With(downloader));
    fetchwell.startEventLoopThread();
    Download ends(folder, "ends", "", "wait-ends"), slow(folder, "slow", "", "slow-task");
    ends.start(fetchwell);
    slow.start(fetchwell);
    for (auto until = Clock::now() + 10s; downloader->running < 2 && Clock::now() < until;)
        std::this_thread::sleep_for(5ms);
    ASSERT_EQ(downloader->running.load(), 2);

    // One task ends at once (its follow-up wakes the loop); the other keeps the abort waiting.
    const double cpuBefore = ProcessCpuSeconds();
    const auto before = Clock::now();
    fetchwell.abort();
    const double wall = std::chrono::duration<double>(Clock::now() - before).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    EXPECT_GE(wall, 0.5);
    EXPECT_LT(cpu, 0.25 * wall) << "the loop thread spun while the abort waited";
}

TEST(FetchwellLoop, InitQueueWorkIsNeverLeftWaitingBesideMainQueueWork) {
    Testing::TempFolder folder(L"netsetter-loop-");
    auto downloader = std::make_shared<ScriptedDownloader>();
    App::Fetchwell fetchwell;
    fetchwell.init(App::Fetchwell::Params{}, With(downloader));
    fetchwell.startEventLoopThread();
    std::vector<std::unique_ptr<Download>> downloads;  // descriptors live as long as the facade
    for (int trial = 0; trial < 400; ++trial) {
        auto& init = *downloads.emplace_back(
            std::make_unique<Download>(folder, "init" + std::to_string(trial), "", "init" + std::to_string(trial)));
        auto& main = *downloads.emplace_back(
            std::make_unique<Download>(folder, "main" + std::to_string(trial), "", "main" + std::to_string(trial)));
        std::thread mainThread([&] { main.start(fetchwell); });
        init.start(fetchwell, true);
        mainThread.join();
        ASSERT_EQ(main.recorder.waitForFinal(10s).status, IRemoteResource::Available) << "trial " << trial;
        ASSERT_EQ(init.recorder.waitForFinal(5s).status, IRemoteResource::Available) << "init download stalled in trial "
                                                                                      << trial;
    }
    fetchwell.abort();
}

namespace {

// A proxy lookup that never finishes by itself: only the request's stop predicate ends it.
struct EndlessProxyLookup : Networking::IProxyProvider {
    std::atomic<bool> entered{false};
    Proxy getProxy(const std::string&) override { return {}; }
    Proxy getProxy(const std::string&, const std::function<bool()>& stop) override {
        entered = true;
        for (auto until = Clock::now() + 60s; Clock::now() < until;) {
            if (stop && stop()) break;
            std::this_thread::sleep_for(20ms);
        }
        return {};
    }
};

} // namespace

TEST(FetchwellLoop, AbortEndsADownloadWaitingForItsProxyLookup) {
    Testing::TempFolder folder(L"netsetter-loop-");
    auto lookup = std::make_shared<EndlessProxyLookup>();
    App::Fetchwell fetchwell;
    App::Fetchwell::Dependencies d;
    d.proxyProvider = lookup;
    d.applicationTracker = new RecordingTracker;
    fetchwell.init(ParallelParams(2), d);
    fetchwell.startEventLoopThread();
    Download download(folder, "proxied.bin", "http://proxied.invalid/", "file.bin");
    download.start(fetchwell);
    for (auto until = Clock::now() + 10s; !lookup->entered && Clock::now() < until;) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(lookup->entered.load());
    const auto before = Clock::now();
    fetchwell.abort();
    EXPECT_LT(Clock::now() - before, 1500ms);
}
