#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "App/Fetchwell/DownloadRetrier.h"
#include "App/Fetchwell/Downloader/ResourceDownloaderHttp.h"
#include "App/Fetchwell/NetworkStateEmulator.h"
#include "QorNetworking/Error.h"
#include "FetchwellClient.h"

using namespace FetchwellTesting;
using namespace std::chrono_literals;
using App::IRemoteResource;
using Clock = std::chrono::steady_clock;

namespace {

nlohmann::json Recorded(const Testing::TestServer& server, const std::string& key) {
    return nlohmann::json::parse(server.recorded(key));
}

struct ErrorHandlerRecorder : App::IErrorHandler {
    std::mutex mutex;
    std::vector<std::pair<App::DownloaderErrorCode, std::int32_t>> calls;
    bool handleError(const App::ResourceDescriptor*, App::DownloaderErrorCode code, std::int32_t status,
                     const std::string&) override {
        std::lock_guard lock(mutex);
        calls.emplace_back(code, status);
        return false;
    }
};

class FetchwellDownload : public ::testing::Test {
protected:
    Testing::TestServer server;
    Testing::TempFolder folder{L"netsetter-fetch-Загрузки-"};
    Nolvar::IntrusivePtr<RecordingTracker> tracker{new RecordingTracker};
    // A run of its own: a test that runs again (ctest's second try) does not read the first run's requests.
    std::string key = std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
                      std::to_string(GetCurrentProcessId());

    App::Fetchwell::Dependencies deps() {
        App::Fetchwell::Dependencies d;
        d.applicationTracker = tracker;
        return d;
    }
};

} // namespace

TEST(ResourceDownloaderHttp, JoinsBaseUrlAndRelativePath) {
    App::ResourceDescriptor d;
    d.baseUrl = "a";
    d.serverRelativePath = "/b";
    EXPECT_EQ(App::ResourceDownloaderHttp::requestUrl(d), "a/b");
    d.baseUrl = "a/";
    d.serverRelativePath = "b";
    EXPECT_EQ(App::ResourceDownloaderHttp::requestUrl(d), "a/b");
    d.baseUrl = "";
    d.serverRelativePath = "http://h.example/x?y=1";
    EXPECT_EQ(App::ResourceDownloaderHttp::requestUrl(d), "http://h.example/x?y=1");
}

TEST(Fetchwell, OptimalThreadCountFollowsTheHardware) {
    EXPECT_EQ(App::Fetchwell::optimalThreadCountFor(1), 2u);
    EXPECT_EQ(App::Fetchwell::optimalThreadCountFor(3), 2u);
    EXPECT_EQ(App::Fetchwell::optimalThreadCountFor(6), 3u);
    EXPECT_EQ(App::Fetchwell::optimalThreadCountFor(16), 8u);
    EXPECT_EQ(App::Fetchwell::optimalThreadCountFor(64), 8u);
}

TEST(Fetchwell, AbortBeforeInitAndDestructionWithARunningLoopAreHarmless) {
    {
        App::Fetchwell unused;
        unused.abort();
    }
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), {});
    fetchwell.startEventLoopThread();
    // Joining alone stops the loop first: it returns.
    fetchwell.joinEventLoopThread();
    App::Fetchwell running;
    running.init(ParallelParams(), {});
    running.startEventLoopThread();
}

TEST_F(FetchwellDownload, SingleDownloadReportsProgressEndsAvailableAndTracksConnectionMetrics) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), deps());
    fetchwell.startEventLoopThread();
    Download download(folder, "файл.bin", server.httpUrl("/data"), "/300000?rate=1000000&record=" + key + "&note=a%20b");
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal();
    fetchwell.abort();

    EXPECT_EQ(final.status, IRemoteResource::Available) << final.toDebugString();
    EXPECT_EQ(final.percent, 1.0);
    EXPECT_EQ(final.done, 300000u);
    EXPECT_EQ(Testing::ReadWholeFile(download.descriptor.destPath.wstring()), PatternBytes(300000));
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.tempPath.wstring()));
    int progress = 0;
    for (const auto& s : download.recorder.states())
        if (s.status == IRemoteResource::Downloading && s.done > 0 && s.done < 300000) ++progress;
    EXPECT_GE(progress, 2);

    bool metrics = false;
    for (const auto& event : tracker->events()) {
        if (event.name != "CONNECTION_METRICS") continue;
        metrics = true;
        EXPECT_EQ(event.params.at("SOURCE"), "127.0.0.1");
        EXPECT_EQ(event.params.at("URI"), "/data/300000");
        EXPECT_EQ(event.params.at("ARGS"), "rate=1000000&record=" + key + "&note=a b");
    }
    EXPECT_TRUE(metrics);
}

TEST_F(FetchwellDownload, ErrorStatusIsAFailedDownloadNeverPutInPlace) {
    auto handler = std::make_shared<ErrorHandlerRecorder>();
    App::Fetchwell fetchwell;
    auto d = deps();
    d.errorHandler = handler;
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{0, 0, 2, 10});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    Download notFound(folder, "missing.bin", server.httpUrl(), "/data/2000?status=404");
    Download serverError(folder, "broken.bin", server.httpUrl(), "/data/2000?status=500");
    notFound.start(fetchwell);
    serverError.start(fetchwell);
    const State a = notFound.recorder.waitForFinal();
    const State b = serverError.recorder.waitForFinal();
    fetchwell.abort();

    EXPECT_EQ(a.status, IRemoteResource::Error);
    EXPECT_EQ(a.downloadError, IRemoteResource::GeneralError);
    EXPECT_EQ(a.networkError.code, 1000);
    EXPECT_EQ(a.networkError.message, "HTTP status 404");
    EXPECT_EQ(b.networkError.message, "HTTP status 500");
    EXPECT_FALSE(std::filesystem::exists(notFound.descriptor.destPath.wstring()));
    EXPECT_FALSE(std::filesystem::exists(serverError.descriptor.destPath.wstring()));
    EXPECT_FALSE(std::filesystem::exists(notFound.descriptor.tempPath.wstring()));
    std::lock_guard lock(handler->mutex);
    ASSERT_EQ(handler->calls.size(), 2u);
    for (const auto& call : handler->calls) EXPECT_EQ(call.first, App::DownloaderErrorOther);
}

TEST_F(FetchwellDownload, HttpsDownloadRedirectedToHttpFailsAndLeavesNoFile) {
    const std::string plainKey = key + "-plain";
    server.script(key, R"([{"status": 302, "headers": {"Location": ")" +
                           server.httpUrl("/data/5000?record=" + plainKey) + R"("}}])");
    App::Fetchwell fetchwell;
    auto params = ParallelParams();
    params.sslSettings.ignoreCertificateErrors = true;  // the test server's certificate chains to no trusted root
    auto d = deps();
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{0, 0, 2, 10});
    fetchwell.init(params, d);
    fetchwell.startEventLoopThread();
    Download download(folder, "setup.exe", server.httpsUrl(), "/script/" + key);
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal(60s);
    fetchwell.abort();

    EXPECT_EQ(final.status, IRemoteResource::Error) << final.toDebugString();
    EXPECT_EQ(final.networkError.code, Networking::Error::UnsupportedProtocol) << final.networkError.message;
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.destPath.wstring()));
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.tempPath.wstring()));
    EXPECT_EQ(Recorded(server, key).size(), 1u);
    EXPECT_TRUE(Recorded(server, plainKey).empty());
}

TEST_F(FetchwellDownload, DroppedConnectionsAreRetriedWithPostponementAndRecover) {
    const std::string body(20000, 'z');
    nlohmann::json answers = nlohmann::json::array();
    for (int i = 0; i < 5; ++i) answers.push_back({{"body", body}, {"drop_after", 1000}});
    answers.push_back({{"body", body}});
    server.script(key, answers.dump());

    App::Fetchwell fetchwell(App::Fetchwell::RetryWaits{1500ms, 5s});
    auto d = deps();
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{5, 5, 2, 10});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    Download download(folder, "flaky.bin", server.httpUrl(), "/script/" + key);
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal();
    fetchwell.abort();

    EXPECT_EQ(final.status, IRemoteResource::Available) << final.toDebugString();
    EXPECT_EQ(Testing::ReadWholeFile(download.descriptor.destPath.wstring()), body);
    const auto requests = Recorded(server, key);
    ASSERT_EQ(requests.size(), 6u);
    bool sawTryAgain = false;
    for (const auto& s : download.recorder.states()) sawTryAgain |= s.status == IRemoteResource::TryAgain;
    EXPECT_TRUE(sawTryAgain);
    // Attempts 2-4 follow at once; 5 and 6 come after the unstable connection's wait.
    for (int i = 1; i < 6; ++i) {
        const double gap = requests[i]["time"].get<double>() - requests[i - 1]["time"].get<double>();
        if (i >= 4)
            EXPECT_GE(gap, 1.4) << "attempt " << i + 1;
        else
            EXPECT_LT(gap, 1.2) << "attempt " << i + 1;
    }
}

TEST_F(FetchwellDownload, DownloadsFailingTogetherKeepTheRetryPaceOfTheConnectionState) {
    constexpr auto kWait = 500ms;
    const std::vector<std::string> keys = {key + "-a", key + "-b", key + "-c"};
    for (const auto& k : keys) server.script(k, R"([{"status": 403}])");
    App::Fetchwell fetchwell(App::Fetchwell::RetryWaits{kWait, kWait});
    auto d = deps();
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{5, 5, 2, 10});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    std::vector<std::unique_ptr<Download>> downloads;
    for (const auto& k : keys)
        downloads.push_back(std::make_unique<Download>(folder, k + ".bin", server.httpUrl(), "/script/" + k));
    for (auto& download : downloads) download->start(fetchwell);
    for (auto& download : downloads) EXPECT_EQ(download->recorder.waitForFinal(60s).status, IRemoteResource::Error);
    fetchwell.abort();

    // Three retries (of any of the downloads) follow at once; then the connection is unstable and each wait lets
    // one retry go, so from the fourth on the retries are at least one wait apart, whatever the others do
    // meanwhile (the time from a retry's start to its request may differ a little between retries).
    std::vector<double> retries;
    for (const auto& k : keys) {
        const auto requests = Recorded(server, k);
        ASSERT_EQ(requests.size(), 6u) << k;
        for (std::size_t i = 1; i < requests.size(); ++i) retries.push_back(requests[i]["time"].get<double>());
    }
    std::sort(retries.begin(), retries.end());
    for (std::size_t i = 3; i < retries.size(); ++i)
        EXPECT_GE(retries[i] - retries[i - 1], 0.4) << "retry " << i + 1 << " of " << retries.size();
}

// The time-outs leave a slow but working server alone: an answer 10 s late, then a body at 4 MB/s that outlasts a
// whole low-speed window, arrives in one try (the library's own request limits, the installer's retry limits).
TEST_F(FetchwellDownload, ASlowServerAnsweringTenSecondsLateDeliversInOneTry) {
    constexpr std::uint64_t kSize = 48'000'000;
    App::Fetchwell fetchwell;
    auto d = deps();
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(
        App::DownloadRetrier::Params{5, 5, 2, 10, true, std::chrono::seconds(20)});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    Download download(folder, "slow.bin", server.httpUrl(),
                      "/data/" + std::to_string(kSize) + "?delay=10000&rate=4000000&record=" + key);
    const auto begin = Clock::now();
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal(90s);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    fetchwell.abort();

    EXPECT_EQ(final.status, IRemoteResource::Available) << final.toDebugString();
    EXPECT_EQ(std::filesystem::file_size(download.descriptor.destPath.wstring()), kSize);
    EXPECT_EQ(Recorded(server, key).size(), 1u);
    EXPECT_GE(seconds, 20.0);
    std::printf("%.1f s, %.2f MB/s after the answer\n", seconds, kSize / 1e6 / (seconds - 10));
}

TEST_F(FetchwellDownload, AllAttemptsFailingEndsAsErrorAfterSixRequests) {
    server.script(key, R"([{"body": "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", "drop_after": 10}])");
    App::Fetchwell fetchwell(App::Fetchwell::RetryWaits{100ms, 100ms});
    auto d = deps();
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{5, 5, 2, 10});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    Download download(folder, "never.bin", server.httpUrl(), "/script/" + key);
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal();
    fetchwell.abort();
    EXPECT_EQ(final.status, IRemoteResource::Error);
    EXPECT_NE(final.networkError.code, 0);
    EXPECT_EQ(Recorded(server, key).size(), 6u);
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.destPath.wstring()));
}

TEST_F(FetchwellDownload, CancelEndsTheDownloadAsCancelled) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), deps());
    fetchwell.startEventLoopThread();
    Download download(folder, "slow.bin", server.httpUrl(), "/data/400000?rate=100000");
    IRemoteResource* resource = download.start(fetchwell);
    download.recorder.waitFor([](const State& s) { return s.done > 0; });
    EXPECT_FALSE(resource->cancel());
    const State final = download.recorder.waitForFinal(10s);
    fetchwell.abort();
    EXPECT_EQ(final.status, IRemoteResource::Error);
    EXPECT_EQ(final.downloadError, IRemoteResource::Cancelled);
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.destPath.wstring()));
}

TEST_F(FetchwellDownload, AbortDuringAStalledDownloadReturnsWithinAboutOneSecond) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), deps());
    fetchwell.startEventLoopThread();
    Download download(folder, "stalled.bin", server.httpUrl(), "/data/100000?stall_after=5000&stall=30");
    download.start(fetchwell);
    download.recorder.waitFor([](const State& s) { return s.done >= 5000; });
    std::this_thread::sleep_for(300ms);  // the server is silent now
    const auto before = Clock::now();
    fetchwell.abort();
    EXPECT_LE(Clock::now() - before, 1200ms);
    EXPECT_NE(download.recorder.states().back().status, IRemoteResource::Available);
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.destPath.wstring()));
}

TEST_F(FetchwellDownload, DestroyingTheFacadeWithADownloadRunningAbortsIt) {
    Download download(folder, "left.bin", server.httpUrl(), "/data/100000?stall_after=5000&stall=30");
    const auto before = Clock::now();
    {
        App::Fetchwell fetchwell;
        fetchwell.init(ParallelParams(), deps());
        fetchwell.startEventLoopThread();
        download.start(fetchwell);
        download.recorder.waitFor([](const State& s) { return s.done >= 5000; });
    }
    EXPECT_LE(Clock::now() - before, 10s);
}

TEST_F(FetchwellDownload, UpdatePoliciesDecideWhetherAPresentFileIsKept) {
    // With `rejectPresent`, the file the test put there is invalid and a downloaded one valid.
    struct Validator : App::IResourceValidator {
        bool rejectPresent = false;
        std::int32_t validate(const App::ResourceDescriptor* d) override {
            return rejectPresent && Testing::ReadWholeFile(d->path.wstring()) == "present" ? 1 : 0;
        }
    };
    auto validator = std::make_shared<Validator>();
    App::Fetchwell fetchwell;
    auto d = deps();
    d.resourceValidator = validator;
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();

    const auto now = static_cast<long long>(time(nullptr));
    std::vector<std::unique_ptr<Download>> kept;  // the scheduler knows bundles by address: keep them alive
    auto run = [&](const std::string& name, std::int32_t policy, long long lastModified) {
        const std::string k = key + "-" + name;
        kept.push_back(std::make_unique<Download>(folder, name, server.httpUrl(),
                                                  "/data/50?record=" + k + "&lm=" + std::to_string(lastModified)));
        Download& download = *kept.back();
        Testing::WriteWholeFile(download.descriptor.path.wstring(), "present");
        download.descriptor.updatePolicy = policy;
        download.start(fetchwell);
        const State final = download.recorder.waitForFinal();
        EXPECT_EQ(final.status, IRemoteResource::Available) << name;
        std::vector<std::string> methods;
        for (const auto& r : Recorded(server, k)) methods.push_back(r["method"]);
        const bool replaced = Testing::ReadWholeFile(download.descriptor.path.wstring()) == PatternBytes(50);
        return std::make_pair(methods, replaced);
    };
    using Methods = std::vector<std::string>;
    EXPECT_EQ(run("always", 0, now), std::make_pair(Methods{"GET"}, true));
    EXPECT_EQ(run("valid", 1, now), std::make_pair(Methods{}, false));
    validator->rejectPresent = true;
    EXPECT_EQ(run("invalid", 1, now), std::make_pair(Methods{"GET"}, true));
    validator->rejectPresent = false;
    EXPECT_EQ(run("keep", 2, now), std::make_pair(Methods{}, false));
    EXPECT_EQ(run("older-on-server", 3, now - 3600), std::make_pair(Methods{"HEAD"}, false));
    EXPECT_EQ(run("newer-on-server", 3, now + 3600), std::make_pair(Methods({"HEAD", "GET"}), true));
    fetchwell.abort();
}

TEST_F(FetchwellDownload, UnknownLastModifiedDownloadsAgain) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), deps());
    fetchwell.startEventLoopThread();
    Download download(folder, "nolm.bin", server.httpUrl(), "/data/50?status=404&record=" + key);
    Testing::WriteWholeFile(download.descriptor.path.wstring(), "present");
    download.descriptor.updatePolicy = 3;
    download.start(fetchwell);
    download.recorder.waitForFinal();
    fetchwell.abort();
    const auto requests = Recorded(server, key);
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests[0]["method"], "HEAD");
    EXPECT_EQ(requests[1]["method"], "GET");
}

TEST_F(FetchwellDownload, OneDescriptorSharedByTwoBundlesDownloadsOnce) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), deps());
    fetchwell.startEventLoopThread();
    Download first(folder, "shared.bin", server.httpUrl(), "/data/70000?rate=400000&record=" + key);
    App::ResourceDescriptorBundle second{&first.descriptor};
    StateRecorder secondRecorder;
    auto scheduler = fetchwell.getMainScheduler();
    scheduler->registerResource(&second)->registerEventHandler(&secondRecorder, {});
    first.start(fetchwell);
    scheduler->registerAutoSchedule(&second, 2, 0);
    EXPECT_EQ(first.recorder.waitForFinal().status, IRemoteResource::Available);
    EXPECT_EQ(secondRecorder.waitForFinal().status, IRemoteResource::Available);
    fetchwell.abort();
    EXPECT_EQ(Recorded(server, key).size(), 1u);
}

TEST_F(FetchwellDownload, OfflineMarkerStopsDownloadsAsConnectionLost) {
    const auto marker = folder / L"offline";
    Testing::WriteWholeFile(marker, "");
    App::Fetchwell fetchwell;
    auto d = deps();
    d.networkStateChecker = std::make_shared<App::NetworkStateEmulator>(marker.wstring());
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{0, 0, 2, 10});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    Download download(folder, "offline.bin", server.httpUrl(), "/data/1000");
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal();
    fetchwell.abort();
    EXPECT_EQ(final.status, IRemoteResource::Error);
    EXPECT_EQ(final.downloadError, IRemoteResource::InternetConnectionLost);
    EXPECT_FALSE(std::filesystem::exists(download.descriptor.destPath.wstring()));
}

TEST_F(FetchwellDownload, FailedCacheCopyIsNoSpaceLeftAndNotRetried) {
    App::Fetchwell fetchwell;
    auto d = deps();
    d.downloadRetrier = std::make_shared<App::DownloadRetrier>(App::DownloadRetrier::Params{5, 5, 2, 10});
    fetchwell.init(ParallelParams(), d);
    fetchwell.startEventLoopThread();
    Testing::WriteWholeFile(folder / L"cache.bin", "cached");
    Testing::WriteWholeFile(folder / L"not-a-folder", "");
    Download download(folder, "unused", server.httpUrl(), "/data/10?record=" + key);
    download.descriptor.cachePath = (folder / L"cache.bin").wstring();
    download.descriptor.destPath = (folder / L"not-a-folder" / L"dest.bin").wstring();
    download.start(fetchwell);
    const State final = download.recorder.waitForFinal();
    fetchwell.abort();
    EXPECT_EQ(final.status, IRemoteResource::Error);
    EXPECT_EQ(final.downloadError, IRemoteResource::NoSpaceLeft);
    EXPECT_EQ(Recorded(server, key).size(), 0u);
}

TEST_F(FetchwellDownload, CacheCopyReplacesTheDownload) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(), deps());
    fetchwell.startEventLoopThread();
    Testing::WriteWholeFile(folder / L"кэш.bin", "cached");
    Download download(folder, "из кэша\\dest.bin", server.httpUrl(), "/data/10?record=" + key);
    download.descriptor.cachePath = (folder / L"кэш.bin").wstring();
    download.start(fetchwell);
    EXPECT_EQ(download.recorder.waitForFinal().status, IRemoteResource::Available);
    fetchwell.abort();
    EXPECT_EQ(Testing::ReadWholeFile(download.descriptor.destPath.wstring()), "cached");
    EXPECT_EQ(Recorded(server, key).size(), 0u);
}

TEST_F(FetchwellDownload, SeveralDownloadsRunInParallel) {
    App::Fetchwell fetchwell;
    fetchwell.init(ParallelParams(4), deps());
    fetchwell.startEventLoopThread();
    std::vector<std::unique_ptr<Download>> downloads;
    const auto before = Clock::now();
    for (int i = 0; i < 4; ++i) {
        downloads.push_back(std::make_unique<Download>(folder, "part" + std::to_string(i), server.httpUrl(),
                                                       "/data/100000?rate=100000"));
        downloads.back()->start(fetchwell);
    }
    for (auto& download : downloads) EXPECT_EQ(download->recorder.waitForFinal().status, IRemoteResource::Available);
    const auto took = Clock::now() - before;
    fetchwell.abort();
    EXPECT_LT(took, 3s);  // one after another would take four seconds
}

TEST_F(FetchwellDownload, InitSchedulerWorkWakesTheLoopWithABlockingExecutor) {
    App::Fetchwell fetchwell;
    fetchwell.init(App::Fetchwell::Params{}, deps());
    fetchwell.startEventLoopThread();
    std::this_thread::sleep_for(100ms);  // the loop is asleep now
    Download download(folder, "init.bin", server.httpUrl(), "/data/1000");
    download.start(fetchwell, true);
    EXPECT_EQ(download.recorder.waitForFinal(10s).status, IRemoteResource::Available);
    fetchwell.joinEventLoopThread();
}

TEST_F(FetchwellDownload, ClientRunLoopDownloadsOnItsOwnThreadWithTheBlockingExecutor) {
    App::Fetchwell fetchwell;
    fetchwell.init(App::Fetchwell::Params{}, deps());
    Download download(folder, "own-loop.bin", server.httpUrl(), "/data/20000");
    download.start(fetchwell);
    EXPECT_TRUE(fetchwell.processCurrentQueueQuant());  // runs the queued download here
    EXPECT_EQ(download.recorder.states().back().status, IRemoteResource::Available);
    EXPECT_FALSE(fetchwell.processCurrentQueueQuant());
    fetchwell.processCurrentQueue();  // nothing left: returns at once
    fetchwell.abort();
}
