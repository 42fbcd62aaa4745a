#include "App/Fetchwell/ResourceItem.h"

#include <exception>

#include <fmt/format.h>
#include <glog/logging.h>

#include "App/Fetchwell/ClientCall.h"
#include "App/Fetchwell/FileUtils.h"

namespace Nolvar::App::Detail {

using Status = IRemoteResource::DownloadStatus;

namespace {

int QueuePriority(SchedulePriority priority) {
    switch (priority) {
    case 0: return Core::PriorityLow;
    case 1: return Core::PriorityNormal;
    default: return Core::PriorityHigh;
    }
}

IRemoteResource::DownloadError ErrorOfResult(std::int32_t code) {
    switch (code) {
    case IResourceDownloader::Failed: return IRemoteResource::GeneralError;
    case IResourceDownloader::ConnectionFailure: return IRemoteResource::InternetConnectionLost;
    case IResourceDownloader::OutputFailure: return IRemoteResource::NoSpaceLeft;
    case IResourceDownloader::CancelledOrHandled: return IRemoteResource::Cancelled;
    default: return IRemoteResource::NoError;
    }
}

} // namespace

ResourceItem::ResourceItem(const ResourceDescriptor* descriptor, Collaborators collaborators)
    : m_state(IEventTracer::TraceRecord{descriptor, nullptr, nullptr, {}}, collaborators.notificationQueue,
              collaborators.eventTracer),
      m_descriptor(descriptor),
      m_c(std::move(collaborators)) {}

void ResourceItem::schedule(SchedulePriority priority, ScheduleOrder order) {
    std::lock_guard lock(m_mutex);
    scheduleLocked(priority, order);
}

bool ResourceItem::cancel() { return m_cancelled.exchange(true); }

bool ResourceItem::countsTowardsConnectionState() const { return !m_descriptor->optional; }

// A settled resource (available or failed) is always queued again: that is how a re-check or a retry starts. One
// still waiting or running is queued again only to raise its priority; queueing it twice would download it twice.
void ResourceItem::autoSchedule(SchedulePriority priority, ScheduleOrder order) {
    std::lock_guard lock(m_mutex);
    const Status status = m_state.getState().status;
    if (status == IRemoteResource::Available || status >= IRemoteResource::Error) {
        m_scheduled = false;
        scheduleLocked(priority, order);
    } else if (!m_scheduled || priority > m_priority) {
        scheduleLocked(priority, order);
    }
}

void ResourceItem::scheduleLocked(SchedulePriority priority, ScheduleOrder order) {
    m_cancelled.store(false);
    if (m_descriptor->existingFileCheck == 1 && fileExists(m_descriptor->path)) {
        m_state.setAvailable();
        if (m_descriptor->updatePolicy == ResourceDescriptor::UpdateNever) return;
    }
    m_priority = priority;
    m_scheduled = true;
    trace(IEventTracer::ExecScheduled, {});
    auto task = [this] { runTask(); };
    if (order != 0)
        m_c.downloadQueue->prependTask(task, QueuePriority(priority));
    else
        m_c.downloadQueue->addTask(task, QueuePriority(priority));
}

// One body runs at a time per resource: a task that finds another running asks it for one more round instead of
// downloading the same file beside it, and a request made during a run is never lost.
void ResourceItem::runTask() {
    {
        std::lock_guard lock(m_runMutex);
        if (m_running) {
            m_rerun = true;  // the running task runs the body once more when it is done
            return;
        }
        m_running = true;
    }
    for (;;) {
        trace(IEventTracer::Exec, {});
        try {
            body();
        } catch (const std::exception& e) {
            LOG(ERROR) << "Download task of " << m_descriptor->serverRelativePath << " failed: " << e.what();
            m_state.setError(IRemoteResource::Error, IRemoteResource::GeneralError,
                             {Networking::Error::UnknownError, e.what()});
        } catch (...) {
            LOG(ERROR) << "Download task of " << m_descriptor->serverRelativePath << " failed: unknown exception";
            m_state.setError(IRemoteResource::Error, IRemoteResource::GeneralError,
                             {Networking::Error::UnknownError, "unknown exception"});
        }
        trace(IEventTracer::ExecEnd, {});
        std::lock_guard lock(m_runMutex);
        if (!m_rerun) {
            m_running = false;
            return;
        }
        m_rerun = false;
    }
}

void ResourceItem::body() {
    if (m_cancelled.load()) {
        m_state.setError(IRemoteResource::Error, IRemoteResource::Cancelled,
                         {Networking::Error::NotInitialized, ""});
        return;
    }
    if (m_descriptor->updatePolicy != ResourceDescriptor::UpdateAlways && fileExists(m_descriptor->path) &&
        keepPresentFile())
        m_state.setAvailable();
    else
        download();
    m_firstRun.store(false);
}

// Whether the file already on disk serves without a download. After the first run a resource that became
// available stays so (re-checks are what autoSchedule is for); otherwise the update policy decides, and an unknown
// server time counts as newer, since keeping a stale file is worse than one download too many.
bool ResourceItem::keepPresentFile() {
    const std::int32_t policy = m_descriptor->updatePolicy;
    if (!m_firstRun.load() && m_state.getState().status == IRemoteResource::Available) return true;
    if (policy == ResourceDescriptor::UpdateNever) return true;
    if (policy == ResourceDescriptor::UpdateIfNewer) {
        std::int64_t serverTime = 0;
        try {
            serverTime = m_c.downloader->requestLastModified(m_descriptor);
        } catch (const std::exception& e) {
            LOG(WARNING) << "Last-Modified of " << m_descriptor->serverRelativePath << " unknown: " << e.what();
        }
        return serverTime != 0 && fileLastModifiedTime(m_descriptor->path) >= serverTime;
    }
    return m_c.resourceValidator->validate(m_descriptor) != 1;
}

void ResourceItem::download() {
    trace(IEventTracer::Download, m_descriptor->serverRelativePath);
    m_state.setProgress(0, 1);

    IResourceDownloader::Task task;
    task.descriptor = m_descriptor;
    task.progress = [this](std::uint64_t done, std::uint64_t total) {
        // Arriving bytes show that the network works, also when the try breaks off later.
        if (done > 0) m_c.retrier->networkAnswered(this);
        m_state.setProgress(done, total);
    };
    task.isCancelled = [this] { return m_cancelled.load(); };
    task.errorHandler = [handler = m_c.errorHandler](const ResourceDescriptor* descriptor, DownloaderErrorCode code,
                                                     std::int32_t status, const std::string& message) {
        return handler->handleError(descriptor, code, status, message);
    };
    if (m_c.headersValidator)
        task.headersValidator = [validator = m_c.headersValidator](const ResourceDescriptor* descriptor,
                                                                   const std::vector<IHeadersValidator::Headers>& h) {
            return validator->validateHeaders(descriptor, h);
        };

    const auto result = m_c.downloader->exec(std::move(task));
    IRemoteResource::DownloadError error = ErrorOfResult(result.code);
    if (error == IRemoteResource::NoError) {
        if (m_descriptor->postProcessing != 0 && m_c.postProcessor->process(m_descriptor) != 0)
            error = IRemoteResource::Corrupted;
        else if (m_descriptor->updatePolicy == ResourceDescriptor::UpdateIfInvalid &&
                 m_c.resourceValidator->validate(m_descriptor) == 1)
            error = IRemoteResource::Corrupted;
    }

    // The retrier decides, also for a success (it resets its counters): TryAgain keeps the resource in the queue's
    // hands, Error hands the outcome to the client for good.
    const bool final = m_c.retrier->downloadFinished(this, error);
    if (final && error == IRemoteResource::NoError)
        m_state.setAvailable();
    else if (final)
        m_state.setError(IRemoteResource::Error, error, result.error);
    else
        m_state.setError(IRemoteResource::TryAgain, error, result.error);

    trace(IEventTracer::DownloadEnd, fmt::format("ServerRelativePath={}, {}", m_descriptor->serverRelativePath,
                                                 m_state.getState().toDebugString()));
}

void ResourceItem::trace(IEventTracer::Event event, std::string text) const {
    CallClientCode("Event tracer", [&] {
        m_c.eventTracer->trace(event, {m_descriptor, nullptr, nullptr, std::move(text)});
    });
}

} // namespace Nolvar::App::Detail
