#include "App/Fetchwell/RemoteResourceScheduler.h"

#include <mutex>
#include <unordered_map>
#include <vector>

#include "App/Fetchwell/ResourceBundle.h"
#include "App/Fetchwell/ResourceItem.h"

namespace Nolvar::App {

struct RemoteResourceScheduler::Impl {
    Detail::Collaborators collaborators;
    std::mutex mutex;
    std::vector<std::unique_ptr<Detail::ResourceItem>> items;
    std::unordered_map<const ResourceDescriptor*, Detail::ResourceItem*> itemsByDescriptor;
    std::vector<std::unique_ptr<Detail::ResourceBundle>> bundles;
    std::unordered_map<const ResourceDescriptorBundle*, Detail::ResourceBundle*> bundlesByAddress;

    Detail::ResourceItem* itemFor(const ResourceDescriptor* descriptor) {
        auto found = itemsByDescriptor.find(descriptor);
        if (found != itemsByDescriptor.end()) return found->second;
        items.push_back(std::make_unique<Detail::ResourceItem>(descriptor, collaborators));
        return itemsByDescriptor[descriptor] = items.back().get();
    }

    Detail::ResourceBundle* registerBundle(const ResourceDescriptorBundle* address) {
        Detail::ResourceBundle* bundle = nullptr;
        {
            std::lock_guard lock(mutex);
            auto found = bundlesByAddress.find(address);
            if (found != bundlesByAddress.end()) return found->second;
            bundles.push_back(std::make_unique<Detail::ResourceBundle>(address, collaborators.notificationQueue,
                                                                       collaborators.eventTracer));
            bundle = bundlesByAddress[address] = bundles.back().get();
            for (const ResourceDescriptor* descriptor : *address) bundle->addItem(itemFor(descriptor));
        }
        for (auto* item : bundle->items()) item->state().checkAllNotifications();
        return bundle;
    }
};

RemoteResourceScheduler::RemoteResourceScheduler(
    std::shared_ptr<IResourceDownloader> downloader, std::shared_ptr<Core::ITaskQueue> downloadQueue,
    std::shared_ptr<Core::ITaskQueue> notificationQueue, std::shared_ptr<IPostProcessor> postProcessor,
    std::shared_ptr<IResourceValidator> resourceValidator, std::shared_ptr<IEventTracer> eventTracer,
    std::shared_ptr<IDownloadRetrier> retrier, std::shared_ptr<IErrorHandler> errorHandler,
    std::shared_ptr<IHeadersValidator> headersValidator)
    : m_impl(std::make_unique<Impl>()) {
    m_impl->collaborators = {std::move(downloader),    std::move(downloadQueue),     std::move(notificationQueue),
                             std::move(postProcessor), std::move(resourceValidator), std::move(eventTracer),
                             std::move(retrier),       std::move(errorHandler),      std::move(headersValidator)};
}

RemoteResourceScheduler::~RemoteResourceScheduler() = default;

IRemoteResource* RemoteResourceScheduler::registerResource(const ResourceDescriptorBundle* bundle) {
    return m_impl->registerBundle(bundle);
}

IRemoteResource* RemoteResourceScheduler::registerAutoSchedule(const ResourceDescriptorBundle* address,
                                                               SchedulePriority priority, ScheduleOrder order) {
    Detail::ResourceBundle* bundle = m_impl->registerBundle(address);
    const auto status = bundle->state().getState().status;
    if (status == IRemoteResource::Available || status >= IRemoteResource::Error) bundle->state().reset();
    for (auto* item : bundle->items()) item->autoSchedule(priority, order);
    return bundle;
}

} // namespace Nolvar::App
