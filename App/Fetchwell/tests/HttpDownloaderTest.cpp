// Classification of request outcomes; the network errors come from a scripted client (a real host-resolution
// failure or time-out would need more than the local test server).
#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "App/Fetchwell/Downloader/ResourceDownloaderHttp.h"
#include "App/Fetchwell/FileUtils.h"
#include "QorNetworking/IHttpClient.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::App;

namespace {

struct ScriptedClient : Networking::IHttpClient {
    Networking::Error error;
    std::int32_t status = 200;
    std::string body = "content";
    std::atomic<int> requests{0};
    bool stopSeen = false;
    bool honourStop = true;
    bool badChunk = false;  // hands the sink a chunk the system cannot read, so writing it fails

    void get(Networking::Response& response, const Networking::Request& request,
             const Networking::Options& options) override {
        ++requests;
        if (honourStop && options.stop && options.stop()) {
            stopSeen = true;
            response.error = {Networking::Error::RequestCancelled, "stopped"};
            return;
        }
        response.statusCode = error.code == 0 ? status : 0;
        response.error = error;
        response.connectionMetrics[Networking::kMetricEffectiveUrl] = request.url.toString();
        if (badChunk && options.sink) {
            options.sink(std::string_view(reinterpret_cast<const char*>(16), 4096));
            if (options.stop && options.stop()) {
                stopSeen = true;
                response.error = {Networking::Error::RequestCancelled, "stopped"};
                return;
            }
        }
        if (error.code == 0 && options.sink) options.sink(body);
        if (options.progress) options.progress(body.size(), body.size());
    }
    void head(Networking::Response& response, const Networking::Request&, const Networking::Options&) override {
        ++requests;
        response.error = error;
    }
    void put(Networking::Response&, const Networking::Request&, const std::string&, const Networking::Options&) override {}
    void post(Networking::Response&, const Networking::Request&, const std::string&, const Networking::Options&) override {}
};

struct Checker : INetworkStateChecker {
    std::atomic<bool> offline{false};
    State getState() const override { return offline ? Offline : Online; }
};

class HttpDownloader : public ::testing::Test {
protected:
    Testing::TempFolder folder{L"netsetter-http-Ф-"};
    std::shared_ptr<ScriptedClient> client = std::make_shared<ScriptedClient>();
    std::shared_ptr<Checker> checker = std::make_shared<Checker>();
    ResourceDownloaderHttp downloader{client, nullptr, checker, nullptr, {}, {}, Networking::HttpVersion::Default};
    ResourceDescriptor descriptor;
    bool handlerAnswer = false;
    int handlerCalls = 0;

    HttpDownloader() {
        descriptor.baseUrl = "http://127.0.0.1:9";
        descriptor.serverRelativePath = "/file";
        descriptor.destPath = (folder / L"dest").wstring();
        descriptor.tempPath = (folder / L"dest.part").wstring();
    }
    IResourceDownloader::ResultTask run() {
        IResourceDownloader::Task task;
        task.descriptor = &descriptor;
        task.isCancelled = [] { return false; };
        task.errorHandler = [this](const ResourceDescriptor*, DownloaderErrorCode, std::int32_t, const std::string&) {
            ++handlerCalls;
            return handlerAnswer;
        };
        return downloader.exec(task);
    }
};

} // namespace

TEST_F(HttpDownloader, ConnectionErrorsAreFatalOthersFailOrAreClaimed) {
    client->error = {Networking::Error::OperationTimedOut, "timed out"};
    EXPECT_EQ(run().code, IResourceDownloader::ConnectionFailure);
    EXPECT_FALSE(fileExists(descriptor.destPath));
    client->error = {Networking::Error::HostResolutionFailure, "no host"};
    EXPECT_EQ(run().code, IResourceDownloader::ConnectionFailure);
    client->error = {Networking::Error::ConnectionFailure, "refused"};
    const auto failed = run();
    EXPECT_EQ(failed.code, IResourceDownloader::Failed);
    EXPECT_EQ(failed.error.code, Networking::Error::ConnectionFailure);
    handlerAnswer = true;
    EXPECT_EQ(run().code, IResourceDownloader::CancelledOrHandled);
    EXPECT_EQ(handlerCalls, 4);
    EXPECT_FALSE(fileExists(descriptor.tempPath));
}

TEST_F(HttpDownloader, CancelledRequestIsCancelledUnlessOffline) {
    client->error = {Networking::Error::RequestCancelled, "cancelled"};
    EXPECT_EQ(run().code, IResourceDownloader::CancelledOrHandled);
    checker->offline = true;
    EXPECT_EQ(run().code, IResourceDownloader::ConnectionFailure);
}

TEST_F(HttpDownloader, OfflineMakesEvenACompleteAnswerAConnectionFailure) {
    checker->offline = true;
    client->honourStop = false;
    EXPECT_EQ(run().code, IResourceDownloader::ConnectionFailure);
    checker->offline = false;
    const auto done = run();
    EXPECT_EQ(done.code, IResourceDownloader::Done);
    EXPECT_EQ(done.error.code, 0);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(readWholeFileToBuffer(descriptor.destPath, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "content");
}

TEST_F(HttpDownloader, ErrorStatusAsksTheHandlerWithItsStatus) {
    client->status = 503;
    const auto result = run();
    EXPECT_EQ(result.code, IResourceDownloader::Failed);
    EXPECT_EQ(result.error.code, Networking::Error::UnknownError);
    EXPECT_EQ(result.error.message, "HTTP status 503");
    EXPECT_EQ(handlerCalls, 1);
    EXPECT_FALSE(fileExists(descriptor.destPath));
}

TEST_F(HttpDownloader, AfterAbortEveryRequestStopsAtOnce) {
    downloader.abort();
    EXPECT_EQ(run().code, IResourceDownloader::CancelledOrHandled);
    EXPECT_TRUE(client->stopSeen);
    EXPECT_FALSE(fileExists(descriptor.destPath));
}

TEST_F(HttpDownloader, LastModifiedFailureReadsAsZero) {
    client->error = {Networking::Error::ConnectionFailure, "refused"};
    EXPECT_EQ(downloader.requestLastModified(&descriptor), 0);
}

TEST_F(HttpDownloader, FailedWriteStopsTheRequestAsAnOutputFailure) {
    client->badChunk = true;
    const auto result = run();
    EXPECT_EQ(result.code, IResourceDownloader::OutputFailure);
    EXPECT_TRUE(client->stopSeen);
    EXPECT_FALSE(fileExists(descriptor.destPath));
    EXPECT_FALSE(fileExists(descriptor.tempPath));
}
