#pragma once
// An observer that forwards state changes to a function and unregisters itself from its resources when it goes.
#include <functional>
#include <vector>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IRemoteResource.h"

namespace Nolvar::App {

class FETCHWELL_API RemoteResourceEventHandlerCallback : public IRemoteResourceEventHandler {
public:
    using Callback = std::function<void(IRemoteResource::State, const ResourceDescriptorBundle*)>;
    using StateCallback = std::function<void(IRemoteResource::State)>;

    RemoteResourceEventHandlerCallback();
    RemoteResourceEventHandlerCallback(const RemoteResourceEventHandlerCallback& other);
    RemoteResourceEventHandlerCallback& operator=(const RemoteResourceEventHandlerCallback& other);
    ~RemoteResourceEventHandlerCallback() override;

    void setCallback(Callback callback);
    void setCallback(StateCallback callback);
    void setNotificationParams(IRemoteResource::NotificationParams params);
    void registerWithin(IRemoteResource* resource);

    void onStateChanged(IRemoteResource::State state, const ResourceDescriptorBundle* bundle) override;

private:
    Callback m_callback;
    IRemoteResource::NotificationParams m_params;
    std::vector<IRemoteResource*> m_resources;
};

} // namespace Nolvar::App
