#include "App/Fetchwell/RemoteResourceEventHandlerCallback.h"

#include <utility>

namespace Nolvar::App {

RemoteResourceEventHandlerCallback::RemoteResourceEventHandlerCallback() = default;

RemoteResourceEventHandlerCallback::RemoteResourceEventHandlerCallback(const RemoteResourceEventHandlerCallback& other)
    : m_callback(other.m_callback), m_params(other.m_params), m_resources(other.m_resources) {}

// The resources this object registered with would otherwise keep calling it after it is gone.
RemoteResourceEventHandlerCallback& RemoteResourceEventHandlerCallback::operator=(
    const RemoteResourceEventHandlerCallback& other) {
    if (this == &other) return *this;
    for (auto* resource : m_resources) resource->unregisterEventHandler(this);
    m_callback = other.m_callback;
    m_params = other.m_params;
    m_resources = other.m_resources;
    return *this;
}

RemoteResourceEventHandlerCallback::~RemoteResourceEventHandlerCallback() {
    for (auto* resource : m_resources) resource->unregisterEventHandler(this);
}

void RemoteResourceEventHandlerCallback::setCallback(Callback callback) { m_callback = std::move(callback); }

void RemoteResourceEventHandlerCallback::setCallback(StateCallback callback) {
    m_callback = [callback = std::move(callback)](IRemoteResource::State state, const ResourceDescriptorBundle*) {
        callback(std::move(state));
    };
}

void RemoteResourceEventHandlerCallback::setNotificationParams(IRemoteResource::NotificationParams params) {
    m_params = std::move(params);
}

void RemoteResourceEventHandlerCallback::registerWithin(IRemoteResource* resource) {
    m_resources.push_back(resource);
    resource->registerEventHandler(this, m_params);
}

void RemoteResourceEventHandlerCallback::onStateChanged(IRemoteResource::State state,
                                                        const ResourceDescriptorBundle* bundle) {
    if (m_callback) m_callback(std::move(state), bundle);
}

} // namespace Nolvar::App
