#pragma once
// The resource a client holds for one registered bundle: the parent of its items' states.
#include <set>

#include "App/Fetchwell/ActiveState.h"
#include "App/Fetchwell/IRemoteResource.h"
#include "App/Fetchwell/ResourceItem.h"

namespace Nolvar::App::Detail {

class ResourceBundle : public IRemoteResource {
public:
    ResourceBundle(const ResourceDescriptorBundle* bundle, std::shared_ptr<Core::ITaskQueue> notificationQueue,
                   std::shared_ptr<IEventTracer> tracer);

    void addItem(ResourceItem* item);
    const std::set<ResourceItem*>& items() const { return m_items; }
    ActiveState& state() { return m_state; }

    void schedule(SchedulePriority priority, ScheduleOrder order) override;
    bool cancel() override;
    State getState() const override;
    const ResourceDescriptorBundle* getDescriptorBundle() const override;
    void registerEventHandler(IRemoteResourceEventHandler* handler, const NotificationParams& params) override;
    void unregisterEventHandler(IRemoteResourceEventHandler* handler) override;

private:
    ActiveState m_state;
    const ResourceDescriptorBundle* m_bundle;
    std::set<ResourceItem*> m_items;
};

} // namespace Nolvar::App::Detail
