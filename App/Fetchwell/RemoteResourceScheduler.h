#pragma once
// Turns registered bundles into resources that can be scheduled, watched and cancelled.
#include <memory>

#include "App/Fetchwell/Collaborators.h"
#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IDownloadRetrier.h"
#include "App/Fetchwell/IEventTracer.h"
#include "App/Fetchwell/IRemoteResourceScheduler.h"
#include "App/Fetchwell/IResourceDownloader.h"
#include "QorExecution/ITaskQueue.h"

namespace Nolvar::App {

class FETCHWELL_API RemoteResourceScheduler : public IRemoteResourceScheduler {
public:
    RemoteResourceScheduler(std::shared_ptr<IResourceDownloader> downloader,
                            std::shared_ptr<Core::ITaskQueue> downloadQueue,
                            std::shared_ptr<Core::ITaskQueue> notificationQueue,
                            std::shared_ptr<IPostProcessor> postProcessor,
                            std::shared_ptr<IResourceValidator> resourceValidator,
                            std::shared_ptr<IEventTracer> eventTracer, std::shared_ptr<IDownloadRetrier> retrier,
                            std::shared_ptr<IErrorHandler> errorHandler,
                            std::shared_ptr<IHeadersValidator> headersValidator);
    ~RemoteResourceScheduler() override;
    RemoteResourceScheduler(const RemoteResourceScheduler&) = delete;
    RemoteResourceScheduler& operator=(const RemoteResourceScheduler&) = delete;

    IRemoteResource* registerAutoSchedule(const ResourceDescriptorBundle* bundle, SchedulePriority priority,
                                          ScheduleOrder order) override;
    IRemoteResource* registerResource(const ResourceDescriptorBundle* bundle) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::App
