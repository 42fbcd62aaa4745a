#pragma once
// The download library's entry: owns the executor, the init and main queues with their schedulers and
// retriers, and the event-loop thread that drains them.
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "App/Fetchwell/Collaborators.h"
#include "App/Fetchwell/Downloader/ResourceDownloaderHttp.h"
#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IDownloadRetrier.h"
#include "App/Fetchwell/IEventTracer.h"
#include "App/Fetchwell/INetworkStateChecker.h"
#include "App/Fetchwell/IRemoteResourceScheduler.h"
#include "App/Fetchwell/IResourceDownloader.h"
#include "QorNetworking/HttpVersion.h"
#include "QorTracker/IApplicationTracker.h"

namespace Nolvar::Networking {
class IProxyProvider;
}

namespace Nolvar::App {

class FETCHWELL_API Fetchwell {
public:
    struct Params {
        bool useParallelExecutor = false;
        std::uint64_t threadCount = 0;  // 0: getOptimalThreadCount
        bool reservedFirst = false;     // not read here
        bool reservedSecond = false;    // not read here
        std::map<std::string, std::string> requestHeaders;
        ResourceDownloaderHttp::SslSettings sslSettings;
        Networking::HttpVersion httpVersion = Networking::HttpVersion::Default;
    };

    // Empty slots get the library's defaults at init.
    struct Dependencies {
        std::shared_ptr<IEventTracer> eventTracer;
        std::shared_ptr<INetworkStateChecker> networkStateChecker;
        std::shared_ptr<IPostProcessor> postProcessor;
        std::shared_ptr<Networking::IProxyProvider> proxyProvider;
        std::shared_ptr<IResourceDownloader> downloader;
        std::shared_ptr<IResourceValidator> resourceValidator;
        std::shared_ptr<IDownloadRetrier> downloadRetrier;
        std::shared_ptr<IErrorHandler> errorHandler;
        std::shared_ptr<IHeadersValidator> headersValidator;  // stays empty: no HEAD requests
        Tracking::ApplicationTrackerPtr applicationTracker;
    };

    // How long the loop waits before retrying while the connection is unstable or offline.
    struct RetryWaits {
        std::chrono::milliseconds unstable{std::chrono::seconds(5)};
        std::chrono::milliseconds offline{std::chrono::seconds(60)};
    };

    Fetchwell();
    explicit Fetchwell(RetryWaits retryWaits);
    // Aborts first: the downloads stop and the thread ends.
    ~Fetchwell();
    Fetchwell(const Fetchwell&) = delete;
    Fetchwell& operator=(const Fetchwell&) = delete;

    void init(const Params& params, const Dependencies& dependencies);

    static std::uint64_t getOptimalThreadCount();
    static std::uint64_t optimalThreadCountFor(std::uint64_t hardwareThreads);

    std::shared_ptr<IRemoteResourceScheduler> getInitScheduler() const;
    std::shared_ptr<IRemoteResourceScheduler> getMainScheduler() const;

    // Throws std::system_error when the thread cannot start.
    void startEventLoopThread();
    void processCurrentQueue();
    bool processCurrentQueueQuant();
    // Stops the loop and joins its thread.
    void joinEventLoopThread();
    // Stops every download and the loop; returns when no worker touches the library's state any more.
    void abort();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::App
