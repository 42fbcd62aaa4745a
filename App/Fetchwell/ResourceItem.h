#pragma once
// One descriptor's download: its state, scheduling and the download task.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "App/Fetchwell/ActiveState.h"
#include "App/Fetchwell/Collaborators.h"
#include "App/Fetchwell/IDownloadRetrier.h"
#include "App/Fetchwell/IResourceDownloader.h"

namespace Nolvar::App::Detail {

struct Collaborators {
    std::shared_ptr<IResourceDownloader> downloader;
    std::shared_ptr<Core::ITaskQueue> downloadQueue;
    std::shared_ptr<Core::ITaskQueue> notificationQueue;
    std::shared_ptr<IPostProcessor> postProcessor;
    std::shared_ptr<IResourceValidator> resourceValidator;
    std::shared_ptr<IEventTracer> eventTracer;
    std::shared_ptr<IDownloadRetrier> retrier;
    std::shared_ptr<IErrorHandler> errorHandler;
    std::shared_ptr<IHeadersValidator> headersValidator;  // may be empty
};

class ResourceItem : public ISchedulableResource {
public:
    ResourceItem(const ResourceDescriptor* descriptor, Collaborators collaborators);

    void schedule(SchedulePriority priority, ScheduleOrder order) override;
    bool cancel() override;
    bool countsTowardsConnectionState() const override;

    ActiveState& state() { return m_state; }
    // Called by registerAutoSchedule for one item.
    void autoSchedule(SchedulePriority priority, ScheduleOrder order);

private:
    void scheduleLocked(SchedulePriority priority, ScheduleOrder order);
    void runTask();
    void body();
    void download();
    bool keepPresentFile();
    // A tracer that throws is logged and changes nothing here.
    void trace(IEventTracer::Event event, std::string text) const;

    ActiveState m_state;
    const ResourceDescriptor* m_descriptor;
    Collaborators m_c;
    SchedulePriority m_priority = 0;
    bool m_scheduled = false;
    std::mutex m_mutex;
    std::atomic<bool> m_firstRun{true};
    std::atomic<bool> m_cancelled{false};

    // One task body at a time: a task that finds another running leaves a rerun to it.
    std::mutex m_runMutex;
    bool m_running = false;
    bool m_rerun = false;
};

} // namespace Nolvar::App::Detail
