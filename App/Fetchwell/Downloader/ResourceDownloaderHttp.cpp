#include "App/Fetchwell/Downloader/ResourceDownloaderHttp.h"

#include <atomic>
#include <exception>
#include <optional>
#include <string_view>
#include <vector>

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

// How a request of a download ended.
enum class Outcome {
    Succeeded,       // no error
    Claimed,         // cancelled, or the error handler took the failure
    ConnectionLost,  // timed out, host not found, or offline (whatever the request's own result)
    Failed,
};

std::int32_t ResultCode(Outcome outcome) {
    switch (outcome) {
    case Outcome::Succeeded: return IResourceDownloader::Done;
    case Outcome::Claimed: return IResourceDownloader::CancelledOrHandled;
    case Outcome::ConnectionLost: return IResourceDownloader::ConnectionFailure;
    case Outcome::Failed: return IResourceDownloader::Failed;
    }
    return IResourceDownloader::Failed;
}

// The request's error, or an error of its own for an answer whose status is not a success.
Networking::Error ErrorOf(const Networking::Response& response) {
    if (response.error.code == 0 && !IsSuccessStatus(response.statusCode))
        return {Networking::Error::UnknownError, "HTTP status " + std::to_string(response.statusCode)};
    return response.error;
}

// A local cache copy replaces the download; nullopt when there is none to use.
std::optional<IResourceDownloader::ResultTask> CopyFromCache(const ResourceDescriptor& descriptor,
                                                             const std::string& url) {
    if (descriptor.cachePath.empty() || !fileExists(descriptor.cachePath) || fileExists(descriptor.destPath))
        return std::nullopt;
    const Networking::Error notInitialized{Networking::Error::NotInitialized, ""};
    try {
        const ioPath folder = Core::parent_path(descriptor.destPath);
        if (!folder.empty()) Core::create_directories(folder);
        Core::copy_file(descriptor.cachePath, descriptor.destPath);
        LOG(INFO) << "Cached download=" << url << ", cache source: " << Core::Utf8FromPath(descriptor.cachePath);
        return IResourceDownloader::ResultTask{IResourceDownloader::Done, notInitialized};
    } catch (const std::exception&) {
        LOG(WARNING) << "Failed to copy cache: " << Core::Utf8FromPath(descriptor.cachePath) << " -> "
                     << Core::Utf8FromPath(descriptor.destPath);
        return IResourceDownloader::ResultTask{IResourceDownloader::OutputFailure, notInitialized};
    }
}

// The answer's header blocks as the headers validator reads them, each with its status line's parts.
std::vector<IHeadersValidator::Headers> ValidatorHeaders(const Networking::Response& response) {
    std::vector<IHeadersValidator::Headers> blocks;
    for (const auto& block : response.getAllHeaders()) {
        IHeadersValidator::Headers headers;
        headers[":status:"] = block.status;
        headers[":code:"] = block.code;
        headers[":reason:"] = block.reason;
        for (const auto& [name, value] : block.headers) headers.emplace(name, value);
        blocks.push_back(std::move(headers));
    }
    return blocks;
}

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

    class Job;
};

// One exec: its task's requests, the output file, and the outcome of each request.
class ResourceDownloaderHttp::Impl::Job {
public:
    Job(const Impl& impl, const Task& task) : m_impl(impl), m_task(task) {}

    // The HEAD request and the headers validator: a result when they end the task, nullopt to download. A
    // redirected answer moves `url` to where it led.
    std::optional<ResultTask> checkHeaders(std::string& url) {
        Networking::Response head;
        m_impl.client->head(head, m_impl.request(url), options(url));
        if (head.error.code != 0)
            return ResultTask{ResultCode(classify("head request", url, head.error, head.statusCode)), notInitialized()};
        const auto action = m_task.headersValidator(m_task.descriptor, ValidatorHeaders(head));
        if (action == IHeadersValidator::SkipAsDone) return ResultTask{Done, notInitialized()};
        if (action == IHeadersValidator::SkipAsCancelled) return ResultTask{CancelledOrHandled, notInitialized()};
        if (auto effective = head.connectionMetrics.find(Networking::kMetricEffectiveUrl);
            effective != head.connectionMetrics.end())
            url = effective->second;
        return std::nullopt;
    }

    // The GET request into the temporary file, moved into place when the answer is complete.
    ResultTask download(const std::string& url) {
        const ResourceDescriptor& descriptor = *m_task.descriptor;
        TemporaryFile temporary(descriptor.tempPath, descriptor.destPath);
        if (!temporary) return {Failed, notInitialized()};
        m_output = createOutputFile(descriptor.tempPath);
        if (!m_output) return {Failed, notInitialized()};

        Networking::Options getOptions = options(url);
        getOptions.sink = [this](std::string_view chunk) { write(chunk); };
        Networking::Response response;
        m_impl.client->get(response, m_impl.request(url), getOptions);
        m_impl.trackConnectionMetrics(response);
        closeOutput();

        const Networking::Error error = ErrorOf(response);
        if (m_writeFailed) {
            LOG(WARNING) << "request=" << url << " failed to write output data";
            return {OutputFailure, error};
        }
        Outcome outcome = classify("request", url, error, response.statusCode);
        // A complete answer is moved into place, also when the network went away meanwhile.
        if (error.code == 0 && !temporary.moveToDest() && outcome == Outcome::Succeeded) outcome = Outcome::Failed;
        return {ResultCode(outcome), error};
    }

private:
    static Networking::Error notInitialized() { return {Networking::Error::NotInitialized, ""}; }

    bool stopped() const {
        return m_impl.aborted.load() || m_writeFailed || (m_task.isCancelled && m_task.isCancelled()) ||
               m_impl.offline();
    }

    Networking::Options options(const std::string& target) const {
        Networking::Options o = m_impl.baseOptions(target, [this] { return stopped(); });
        o.httpVersion = m_impl.httpVersion;
        o.sslIgnoreCertificateErrors = m_impl.ssl.ignoreCertificateErrors;
        o.sslIgnoreHostNameMismatch = m_impl.ssl.ignoreHostNameMismatch;
        o.progress = m_task.progress;
        return o;
    }

    // The one verdict on a request of this task. A failure is claimed when it was a cancel or the error handler
    // (asked about failures only) takes it; a lost connection (time-out, unknown host, offline) wins over a
    // claim. `request` names the request in the log.
    Outcome classify(const char* request, const std::string& url, const Networking::Error& error,
                     std::int32_t status) const {
        const std::int32_t s = error.code;
        const bool claimed = s != 0 && (askHandler(error, status) || s == Networking::Error::RequestCancelled);
        const bool offline = m_impl.offline();
        const bool lost =
            s == Networking::Error::OperationTimedOut || s == Networking::Error::HostResolutionFailure || offline;
        if (claimed && !lost) {
            LOG(INFO) << request << "=" << url << " was cancelled.";
            return Outcome::Claimed;
        }
        if (s != 0)
            LOG(WARNING) << request << "=" << url << " failed with error=" << error.message
                         << (offline ? " (App OFFLINE mode activated!)" : "");
        if (lost) return Outcome::ConnectionLost;
        return s == 0 ? Outcome::Succeeded : Outcome::Failed;
    }

    bool askHandler(const Networking::Error& error, std::int32_t status) const {
        return m_task.errorHandler &&
               m_task.errorHandler(m_task.descriptor, ToDownloaderErrorCode(error.code), status, error.message);
    }

    // A failed write drops the output and stops the request.
    void write(std::string_view chunk) {
        if (!m_output) return;
        try {
            m_output->write(chunk.data(), chunk.size());
        } catch (const std::exception& e) {
            LOG(ERROR) << "Failed to write " << Core::Utf8FromPath(m_task.descriptor->tempPath) << ": " << e.what();
            m_writeFailed = true;
            m_output.reset();
        }
    }

    // Windows refuses to rename an open file: the output is closed before it is moved into place.
    void closeOutput() {
        if (!m_output) return;
        try {
            m_output->close();
        } catch (const std::exception& e) {
            LOG(ERROR) << "Failed to close " << Core::Utf8FromPath(m_task.descriptor->tempPath) << ": " << e.what();
            m_writeFailed = true;
        }
        m_output.reset();
    }

    const Impl& m_impl;
    const Task& m_task;
    Core::DataOutputPtr m_output;
    bool m_writeFailed = false;
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
    std::string url = requestUrl(*task.descriptor);
    if (auto cached = CopyFromCache(*task.descriptor, url)) return *cached;
    LOG(INFO) << "HTTP download=" << url;

    Impl::Job job(*m_impl, task);
    if (task.headersValidator) {
        if (auto decided = job.checkHeaders(url)) return *decided;
    }
    return job.download(url);
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
