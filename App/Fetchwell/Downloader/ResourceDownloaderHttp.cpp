#include "App/Fetchwell/Downloader/ResourceDownloaderHttp.h"

#include <atomic>
#include <exception>

#include <glog/logging.h>

#include "App/Fetchwell/FileUtils.h"
#include "QorFilesystem/FileOperations.h"
#include "QorNetworking/ConnectionMetrics.h"
#include "QorNetworking/IHttpClient.h"
#include "QorNetworking/IProxyProvider.h"
#include "QorNetworking/Response.h"

namespace Nolvar::App {
namespace {

constexpr const char* kConnectionMetricsEvent = "CONNECTION_METRICS";

// Request limits of every download request.
constexpr std::int32_t kLowSpeedLimit = 1024;             // bytes per second
constexpr std::int32_t kConnectTimeoutDirect = 5;         // seconds
constexpr std::int32_t kConnectTimeoutProxy = 20;         // seconds
constexpr std::int64_t kRequestTimeout = 3'600'000'000;   // microseconds
constexpr std::int32_t kMaxRedirects = 3;
constexpr std::int64_t kLowSpeedTime = 20000;             // milliseconds

bool IsSuccessStatus(std::int32_t status) { return status >= 200 && status <= 299; }

} // namespace

struct ResourceDownloaderHttp::Impl {
    std::shared_ptr<Networking::IHttpClient> client;
    std::shared_ptr<Networking::IProxyProvider> proxyProvider;
    std::shared_ptr<INetworkStateChecker> checker;
    Tracking::ApplicationTrackerPtr tracker;
    Networking::Headers headers;
    SslSettings ssl;
    Networking::HttpVersion httpVersion;
    std::atomic<bool> aborted{false};

    bool offline() const { return checker && checker->getState() == INetworkStateChecker::Offline; }

    std::string proxyFor(const std::string& url, const Networking::Options::StopPredicate& stop) const {
        if (!proxyProvider) return {};
        return Networking::ProxyToString(proxyProvider->getProxy(url, stop));
    }

    // The stop predicate also ends a proxy lookup that takes long.
    Networking::Options baseOptions(const std::string& url, Networking::Options::StopPredicate stop) const {
        Networking::Options options;
        options.proxy = proxyFor(url, stop);
        options.stop = std::move(stop);
        options.lowSpeedLimit = kLowSpeedLimit;
        options.connectTimeout = options.proxy.empty() ? kConnectTimeoutDirect : kConnectTimeoutProxy;
        options.timeout = kRequestTimeout;
        options.followRedirects = true;
        options.maxRedirects = kMaxRedirects;
        options.lowSpeedTime = kLowSpeedTime;
        options.keepAlive = true;
        return options;
    }

    Networking::Request request(const std::string& url) const {
        return Networking::Request{Networking::Url(url, Networking::Url::ParsingMode::Lenient), headers, {}};
    }

    void trackConnectionMetrics(const Networking::Response& response) const {
        if (!tracker) return;
        tracker->TrackEvent(kConnectionMetricsEvent,
                            Networking::ConnectionMetricsParams({response.connectionMetrics.begin(),
                                                                 response.connectionMetrics.end()}));
    }
};

ResourceDownloaderHttp::ResourceDownloaderHttp(std::shared_ptr<Networking::IHttpClient> client,
                                               std::shared_ptr<Networking::IProxyProvider> proxyProvider,
                                               std::shared_ptr<INetworkStateChecker> networkStateChecker,
                                               Tracking::ApplicationTrackerPtr tracker,
                                               const std::map<std::string, std::string>& headers,
                                               SslSettings sslSettings, Networking::HttpVersion httpVersion)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->client = std::move(client);
    m_impl->proxyProvider = std::move(proxyProvider);
    m_impl->checker = std::move(networkStateChecker);
    m_impl->tracker = std::move(tracker);
    m_impl->headers.insert(headers.begin(), headers.end());
    m_impl->ssl = sslSettings;
    m_impl->httpVersion = httpVersion;
}

ResourceDownloaderHttp::~ResourceDownloaderHttp() = default;

std::string ResourceDownloaderHttp::requestUrl(const ResourceDescriptor& descriptor) {
    std::string url = descriptor.baseUrl;
    if (!url.empty() && url.back() != '/') url += '/';
    const std::string& relative = descriptor.serverRelativePath;
    url += !relative.empty() && relative.front() == '/' ? relative.substr(1) : relative;
    return url;
}

void ResourceDownloaderHttp::abort() { m_impl->aborted.store(true); }

IResourceDownloader::ResultTask ResourceDownloaderHttp::exec(Task task) {
    const ResourceDescriptor& descriptor = *task.descriptor;
    std::string url = requestUrl(descriptor);
    const Networking::Error notInitialized{Networking::Error::NotInitialized, ""};

    // 1. A local cache copy replaces the download.
    if (!descriptor.cachePath.empty() && fileExists(descriptor.cachePath) && !fileExists(descriptor.destPath)) {
        try {
            const ioPath folder = Core::parent_path(descriptor.destPath);
            if (!folder.empty()) Core::create_directories(folder);
            Core::copy_file(descriptor.cachePath, descriptor.destPath);
            LOG(INFO) << "Cached download=" << url << ", cache source: " << Core::Utf8FromPath(descriptor.cachePath);
            return {Done, notInitialized};
        } catch (const std::exception&) {
            LOG(WARNING) << "Failed to copy cache: " << Core::Utf8FromPath(descriptor.cachePath) << " -> "
                         << Core::Utf8FromPath(descriptor.destPath);
            return {OutputFailure, notInitialized};
        }
    }

    LOG(INFO) << "HTTP download=" << url;

    bool writeFailed = false;
    Core::DataOutputPtr output;
    auto stop = [&] {
        return m_impl->aborted.load() || writeFailed || (task.isCancelled && task.isCancelled()) || m_impl->offline();
    };
    auto options = [&](const std::string& target) {
        Networking::Options o = m_impl->baseOptions(target, stop);
        o.httpVersion = m_impl->httpVersion;
        o.sslIgnoreCertificateErrors = m_impl->ssl.ignoreCertificateErrors;
        o.sslIgnoreHostNameMismatch = m_impl->ssl.ignoreHostNameMismatch;
        o.progress = task.progress;
        return o;
    };
    auto askHandler = [&](const Networking::Error& error, std::int32_t status) {
        return task.errorHandler &&
               task.errorHandler(task.descriptor, ToDownloaderErrorCode(error.code), status, error.message);
    };

    // 2. The headers validator may skip the download.
    if (task.headersValidator) {
        Networking::Response head;
        m_impl->client->head(head, m_impl->request(url), options(url));
        const std::int32_t s = head.error.code;
        if (s != 0) {
            const bool claimed = askHandler(head.error, head.statusCode) || s == Networking::Error::RequestCancelled;
            const bool offline = m_impl->offline();
            const bool fatal = s == Networking::Error::OperationTimedOut ||
                               s == Networking::Error::HostResolutionFailure || offline;
            if (claimed && !fatal) {
                LOG(INFO) << "head request=" << url << " was cancelled.";
                return {CancelledOrHandled, notInitialized};
            }
            LOG(WARNING) << "head request=" << url << " failed with error=" << head.error.message
                         << (offline ? " (App OFFLINE mode activated!)" : "");
            return {fatal ? ConnectionFailure : Failed, notInitialized};
        }
        std::vector<IHeadersValidator::Headers> blocks;
        for (const auto& block : head.getAllHeaders()) {
            IHeadersValidator::Headers headers;
            headers[":status:"] = block.status;
            headers[":code:"] = block.code;
            headers[":reason:"] = block.reason;
            for (const auto& [name, value] : block.headers) headers.emplace(name, value);
            blocks.push_back(std::move(headers));
        }
        const auto action = task.headersValidator(task.descriptor, blocks);
        if (action == IHeadersValidator::SkipAsDone) return {Done, notInitialized};
        if (action == IHeadersValidator::SkipAsCancelled) return {CancelledOrHandled, notInitialized};
        auto effective = head.connectionMetrics.find(Networking::kMetricEffectiveUrl);
        if (effective != head.connectionMetrics.end()) url = effective->second;
    }

    // 3. Download into the temporary file.
    TemporaryFile temporary(descriptor.tempPath, descriptor.destPath);
    if (!temporary) return {Failed, notInitialized};
    output = createOutputFile(descriptor.tempPath);
    if (!output) return {Failed, notInitialized};

    Networking::Options getOptions = options(url);
    getOptions.sink = [&](std::string_view chunk) {
        if (!output) return;
        try {
            output->write(chunk.data(), chunk.size());
        } catch (const std::exception& e) {
            LOG(ERROR) << "Failed to write " << Core::Utf8FromPath(descriptor.tempPath) << ": " << e.what();
            writeFailed = true;
            output.reset();
        }
    };
    Networking::Response response;
    m_impl->client->get(response, m_impl->request(url), getOptions);
    m_impl->trackConnectionMetrics(response);

    // Windows refuses to rename an open file: close it before it is moved into place.
    if (output) {
        try {
            output->close();
        } catch (const std::exception& e) {
            LOG(ERROR) << "Failed to close " << Core::Utf8FromPath(descriptor.tempPath) << ": " << e.what();
            writeFailed = true;
        }
        output.reset();
    }

    Networking::Error error = response.error;
    if (error.code == 0 && !IsSuccessStatus(response.statusCode))
        error = {Networking::Error::UnknownError, "HTTP status " + std::to_string(response.statusCode)};

    if (writeFailed) {
        LOG(WARNING) << "request=" << url << " failed to write output data";
        return {OutputFailure, error};
    }

    const std::int32_t s = error.code;
    const bool claimed = s != 0 && (askHandler(error, response.statusCode) || s == Networking::Error::RequestCancelled);
    const bool offline = m_impl->offline();
    const bool fatal =
        s == Networking::Error::OperationTimedOut || s == Networking::Error::HostResolutionFailure || offline;
    if (claimed && !fatal) {
        LOG(INFO) << "request=" << url << " was cancelled.";
        return {CancelledOrHandled, error};
    }
    bool moved = false;
    if (s != 0)
        LOG(WARNING) << "request=" << url << " failed with error=" << error.message
                     << (offline ? " (App OFFLINE mode activated!)" : "");
    else
        moved = temporary.moveToDest();

    std::int32_t code = Failed;
    if (fatal)
        code = ConnectionFailure;
    else if (claimed)
        code = CancelledOrHandled;
    else if (s == 0 && moved)
        code = Done;
    return {code, error};
}

std::int64_t ResourceDownloaderHttp::requestLastModified(const ResourceDescriptor* descriptor) {
    const std::string url = requestUrl(*descriptor);
    Networking::Options options = m_impl->baseOptions(url, [this] { return m_impl->aborted.load(); });
    Networking::Response response;
    m_impl->client->head(response, m_impl->request(url), options);
    m_impl->trackConnectionMetrics(response);
    if (response.error.code != 0 || !IsSuccessStatus(response.statusCode)) return 0;
    return response.getLastModified();
}

} // namespace Nolvar::App
