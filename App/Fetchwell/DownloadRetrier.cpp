#include "App/Fetchwell/DownloadRetrier.h"

#include <deque>
#include <mutex>
#include <unordered_map>

namespace Nolvar::App {

struct DownloadRetrier::Impl {
    struct Record {
        std::uint64_t attempts = 0;
        IRemoteResource::DownloadError lastError = IRemoteResource::NoError;
    };

    explicit Impl(Params p) : params(p) {}

    Params params;
    mutable std::mutex mutex;
    std::deque<ISchedulableResource*> queue;
    std::unordered_map<ISchedulableResource*, Record> records;
    std::uint64_t consecutiveRetries = 0;
    bool postponedOnce = false;
    ConnectionState state = Online;

    bool givingUp() const { return params.giveUpWhenOffline && state == Offline; }
};

DownloadRetrier::DownloadRetrier(Params params) : m_impl(std::make_unique<Impl>(params)) {}

DownloadRetrier::~DownloadRetrier() = default;

bool DownloadRetrier::downloadFinished(ISchedulableResource* resource, IRemoteResource::DownloadError error) {
    std::lock_guard lock(m_impl->mutex);
    auto& record = m_impl->records[resource];
    record.lastError = error;
    switch (error) {
    case IRemoteResource::NoError:
        record.attempts = 0;
        m_impl->consecutiveRetries = 0;
        m_impl->state = Online;
        return true;
    case IRemoteResource::Cancelled:
    case IRemoteResource::NoSpaceLeft:
        return true;
    default: {
        ++record.attempts;
        const std::uint64_t limit = error == IRemoteResource::InternetConnectionLost
                                        ? m_impl->params.maxConnectionLostRetries
                                        : m_impl->params.maxRetries;
        if (record.attempts > limit || m_impl->givingUp()) return true;
        m_impl->queue.push_back(resource);
        return false;
    }
    }
}

IDownloadRetrier::Result DownloadRetrier::check() {
    std::lock_guard lock(m_impl->mutex);
    while (!m_impl->queue.empty()) {
        ISchedulableResource* resource = m_impl->queue.front();
        m_impl->queue.pop_front();
        if (m_impl->records[resource].lastError == IRemoteResource::NoError) continue;
        if (m_impl->postponedOnce || m_impl->state == Online || m_impl->givingUp()) {
            m_impl->postponedOnce = false;
            ++m_impl->consecutiveRetries;
            if (m_impl->state == Online && m_impl->consecutiveRetries > m_impl->params.unstableThreshold)
                m_impl->state = Unstable;
            else if (m_impl->consecutiveRetries > m_impl->params.offlineThreshold)
                m_impl->state = Offline;
            resource->schedule(1, 0);
            return Retried;
        }
        m_impl->postponedOnce = true;
        m_impl->queue.push_front(resource);
        return Postponed;
    }
    return NothingToRetry;
}

IDownloadRetrier::ConnectionState DownloadRetrier::getState() const {
    std::lock_guard lock(m_impl->mutex);
    return m_impl->state;
}

} // namespace Nolvar::App
