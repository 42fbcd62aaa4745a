#include "App/Fetchwell/Fetchwell.h"

#include <mutex>
#include <system_error>
#include <thread>

#include <glog/logging.h>

#include "App/Fetchwell/DownloadRetrier.h"
#include "App/Fetchwell/RemoteResourceScheduler.h"
#include "App/Fetchwell/Stubs.h"
#include "QorExecution/BlockingExecutor.h"
#include "QorExecution/ParallelExecutor.h"
#include "QorExecution/TaskQueue.h"
#include "QorExecution/TaskQueueImmediate.h"
#include "QorExecution/TaskQueueWatcher.h"
#include "QorNetworking/HttpClient.h"
#include "QorNetworking/NativeProxyProvider.h"
#include "QorTracker/ApplicationTrackerWrapperDefault.h"

namespace Nolvar::App {
namespace {

struct QueueSlot {
    std::shared_ptr<Core::TaskQueue> queue = std::make_shared<Core::TaskQueue>();
    std::shared_ptr<Core::TaskQueueImmediate> notifications = std::make_shared<Core::TaskQueueImmediate>();
    std::shared_ptr<IDownloadRetrier> retrier = std::make_shared<DownloadRetrierStub>();
    std::shared_ptr<RemoteResourceScheduler> scheduler;
    std::unique_ptr<Core::TaskQueueWatcher> watcher;

    // The watcher unsubscribes from queues that must still exist; the items go before their queue.
    void release() {
        watcher.reset();
        scheduler.reset();
        retrier.reset();
        notifications.reset();
        queue.reset();
    }
};

} // namespace

struct Fetchwell::Impl {
    RetryWaits retryWaits;
    std::shared_ptr<Core::IExecutor> executor = std::make_shared<Core::BlockingExecutor>();
    std::shared_ptr<Networking::IHttpClient> client;
    Dependencies dependencies;
    // Destroyed main slot first, then the init slot.
    QueueSlot initSlot;
    QueueSlot mainSlot;
    std::mutex threadMutex;
    std::thread thread;

    enum class Step { Idle, Ran };

    Step slotStep(QueueSlot& slot) {
        // Read before the queue is looked at: work added from now on ends a retry wait. A task that merely
        // finishes does not: another download's end must not cut the wait short.
        const std::uint64_t seen = slot.watcher ? slot.watcher->workAddedCount() : 0;
        if (executor->execQueue(slot.queue) == 1) return Step::Ran;
        switch (slot.retrier->check()) {
        case IDownloadRetrier::Retried: return Step::Ran;
        case IDownloadRetrier::Postponed: {
            const auto state = slot.retrier->getState();
            if (slot.watcher && state == IDownloadRetrier::Unstable)
                slot.watcher->waitForWorkAfter(seen, retryWaits.unstable);
            else if (slot.watcher && state == IDownloadRetrier::Offline)
                slot.watcher->waitForWorkAfter(seen, retryWaits.offline);
            return Step::Ran;
        }
        default: return Step::Idle;
        }
    }

    void processCurrentQueue() {
        for (;;) {
            while (running() && slotStep(initSlot) == Step::Ran) {
            }
            if (!running() || slotStep(mainSlot) == Step::Idle) return;
        }
    }

    bool running() const { return !mainSlot.watcher || mainSlot.watcher->isRunning(); }

    // The main watcher hears both queues. Waiting for activity after the count read before the pass never
    // misses an addition to either queue, nor a finished task whose download queued a retry, and never returns
    // at once for what the pass has already seen.
    void loop() {
        while (mainSlot.watcher->isRunning()) {
            const std::uint64_t seen = mainSlot.watcher->activityCount();
            processCurrentQueue();
            mainSlot.watcher->waitForActivityAfter(seen);
        }
    }

    void stopWatchers() {
        if (initSlot.watcher) initSlot.watcher->stop();
        if (mainSlot.watcher) mainSlot.watcher->stop();
    }

    void join() {
        std::lock_guard lock(threadMutex);
        if (!thread.joinable()) return;
        if (thread.get_id() == std::this_thread::get_id())
            throw std::system_error(std::make_error_code(std::errc::resource_deadlock_would_occur));
        thread.join();
    }
};

Fetchwell::Fetchwell() : Fetchwell(RetryWaits{}) {}

Fetchwell::Fetchwell(RetryWaits retryWaits) : m_impl(std::make_unique<Impl>()) { m_impl->retryWaits = retryWaits; }

Fetchwell::~Fetchwell() {
    // Nothing may run on the workers or the loop thread once the slots go.
    try {
        abort();
    } catch (const std::exception& e) {
        LOG(ERROR) << "Abort of the download library failed: " << e.what();
    }
    m_impl->mainSlot.release();  // its watcher also watches the init queue
    m_impl->initSlot.release();
    m_impl->dependencies = Dependencies{};
    m_impl->client.reset();
    m_impl->executor.reset();
}

std::uint64_t Fetchwell::optimalThreadCountFor(std::uint64_t n) {
    if (n < 4) return 2;
    if (n < 18) return n / 2;
    return 8;
}

std::uint64_t Fetchwell::getOptimalThreadCount() {
    return optimalThreadCountFor(std::thread::hardware_concurrency());
}

void Fetchwell::init(const Params& params, const Dependencies& dependencies) {
    auto& impl = *m_impl;
    if (params.useParallelExecutor)
        impl.executor = std::make_shared<Core::ParallelExecutor>(
            static_cast<std::size_t>(params.threadCount != 0 ? params.threadCount : getOptimalThreadCount()));
    impl.client = Networking::createHttpClient(Networking::HttpClientType::WinHttp);

    Dependencies& d = impl.dependencies;
    d = dependencies;
    if (!d.eventTracer) d.eventTracer = std::make_shared<EventTracerStub>();
    if (!d.proxyProvider) d.proxyProvider = std::make_shared<Networking::NativeProxyProvider>();
    if (!d.networkStateChecker) d.networkStateChecker = std::make_shared<NetworkStateCheckerStub>();
    if (!d.resourceValidator) d.resourceValidator = std::make_shared<ResourceValidatorStub>();
    if (!d.errorHandler) d.errorHandler = std::make_shared<ErrorHandlerStub>();
    if (!d.postProcessor) d.postProcessor = std::make_shared<PostProcessorStub>();
    if (!d.applicationTracker) d.applicationTracker = new Tracking::ApplicationTrackerWrapperDefault();
    if (!d.downloadRetrier) d.downloadRetrier = std::make_shared<DownloadRetrier>(DownloadRetrier::Params{});
    if (!d.downloader)
        d.downloader = std::make_shared<ResourceDownloaderHttp>(impl.client, d.proxyProvider, d.networkStateChecker,
                                                                d.applicationTracker, params.requestHeaders,
                                                                params.sslSettings, params.httpVersion);

    impl.initSlot.watcher = std::make_unique<Core::TaskQueueWatcher>(*impl.initSlot.queue);
    impl.mainSlot.watcher = std::make_unique<Core::TaskQueueWatcher>(*impl.mainSlot.queue);
    // Work for the init queue also wakes the loop, which waits on the main watcher.
    impl.mainSlot.watcher->watch(*impl.initSlot.queue);

    impl.mainSlot.retrier = d.downloadRetrier;
    for (QueueSlot* slot : {&impl.initSlot, &impl.mainSlot})
        slot->scheduler = std::make_shared<RemoteResourceScheduler>(
            d.downloader, slot->queue, slot->notifications, d.postProcessor, d.resourceValidator, d.eventTracer,
            slot->retrier, d.errorHandler, d.headersValidator);
}

std::shared_ptr<IRemoteResourceScheduler> Fetchwell::getInitScheduler() const { return m_impl->initSlot.scheduler; }

std::shared_ptr<IRemoteResourceScheduler> Fetchwell::getMainScheduler() const { return m_impl->mainSlot.scheduler; }

void Fetchwell::startEventLoopThread() {
    if (!m_impl->mainSlot.watcher) throw std::logic_error("the download library is not initialised");
    std::lock_guard lock(m_impl->threadMutex);
    if (m_impl->thread.joinable()) throw std::logic_error("the event loop thread already runs");
    m_impl->thread = std::thread([impl = m_impl.get()] { impl->loop(); });
}

void Fetchwell::processCurrentQueue() { m_impl->processCurrentQueue(); }

bool Fetchwell::processCurrentQueueQuant() {
    if (m_impl->slotStep(m_impl->initSlot) == Impl::Step::Ran) return true;
    return m_impl->slotStep(m_impl->mainSlot) == Impl::Step::Ran;
}

void Fetchwell::joinEventLoopThread() {
    m_impl->stopWatchers();
    m_impl->join();
}

void Fetchwell::abort() {
    if (m_impl->dependencies.downloader) m_impl->dependencies.downloader->abort();
    if (m_impl->executor) m_impl->executor->abort();
    joinEventLoopThread();
}

} // namespace Nolvar::App
