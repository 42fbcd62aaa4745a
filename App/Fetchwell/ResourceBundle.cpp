#include "App/Fetchwell/ResourceBundle.h"

namespace Nolvar::App::Detail {

ResourceBundle::ResourceBundle(const ResourceDescriptorBundle* bundle,
                               std::shared_ptr<Core::ITaskQueue> notificationQueue,
                               std::shared_ptr<IEventTracer> tracer)
    : m_state(IEventTracer::TraceRecord{nullptr, bundle, nullptr, {}}, std::move(notificationQueue),
              std::move(tracer)),
      m_bundle(bundle) {}

void ResourceBundle::addItem(ResourceItem* item) {
    if (!m_items.insert(item).second) return;
    ActiveState::linkToParent(&m_state, &item->state());
}

void ResourceBundle::schedule(SchedulePriority priority, ScheduleOrder order) {
    for (auto* item : m_items) item->schedule(priority, order);
}

bool ResourceBundle::cancel() {
    bool allWereCancelled = true;
    for (auto* item : m_items) allWereCancelled = item->cancel() && allWereCancelled;
    return allWereCancelled;
}

IRemoteResource::State ResourceBundle::getState() const { return m_state.getState(); }

const ResourceDescriptorBundle* ResourceBundle::getDescriptorBundle() const { return m_bundle; }

void ResourceBundle::registerEventHandler(IRemoteResourceEventHandler* handler, const NotificationParams& params) {
    const ResourceDescriptorBundle* bundle = m_bundle;
    m_state.registerEventHandler(
        handler, [handler, bundle](State state) { handler->onStateChanged(std::move(state), bundle); }, params);
    m_state.checkAllNotifications();
}

void ResourceBundle::unregisterEventHandler(IRemoteResourceEventHandler* handler) {
    m_state.unregisterEventHandler(handler);
}

} // namespace Nolvar::App::Detail
