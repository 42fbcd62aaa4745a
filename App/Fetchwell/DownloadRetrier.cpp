#include "App/Fetchwell/DownloadRetrier.h"

#include <deque>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace Nolvar::App {

struct DownloadRetrier::Impl {
    using Clock = std::chrono::steady_clock;

    struct Record {
        std::uint64_t attempts = 0;
        IRemoteResource::DownloadError lastError = IRemoteResource::NoError;
        bool counts = true;  // towards the connection state
    };

    explicit Impl(Params p) : params(p) {}

    Params params;
    mutable std::mutex mutex;
    std::deque<ISchedulableResource*> queue;
    std::unordered_map<ISchedulableResource*, Record> records;
    std::uint64_t consecutiveRetries = 0;
    // Retries after a lost connection, and when it was first lost, since the network last answered.
    std::uint64_t lostRetries = 0;
    std::optional<Clock::time_point> lostSince;
    bool postponedOnce = false;
    ConnectionState state = Online;

    bool givingUp() const { return params.giveUpWhenOffline && state == Offline; }

    // What the outcome of a try says about the connection.
    void learn(IRemoteResource::DownloadError error) {
        switch (error) {
        case IRemoteResource::NoError:
            consecutiveRetries = 0;
            state = Online;
            answered();
            return;
        case IRemoteResource::Cancelled:
        case IRemoteResource::NoSpaceLeft:
            return;
        case IRemoteResource::InternetConnectionLost:
            connectionLost();
            return;
        default:  // an answer, if not the one wanted
            answered();
            return;
        }
    }

    void answered() {
        lostRetries = 0;
        lostSince.reset();
        if (state == Offline) state = Unstable;
    }

    void connectionLost() {
        const auto now = Clock::now();
        if (!lostSince)
            lostSince = now;
        else if (params.offlineAfter.count() > 0 && now - *lostSince >= params.offlineAfter)
            state = Offline;
    }
};

DownloadRetrier::DownloadRetrier(Params params) : m_impl(std::make_unique<Impl>(params)) {}

DownloadRetrier::~DownloadRetrier() = default;

bool DownloadRetrier::downloadFinished(ISchedulableResource* resource, IRemoteResource::DownloadError error) {
    std::lock_guard lock(m_impl->mutex);
    auto& record = m_impl->records[resource];
    record.lastError = error;
    record.counts = resource->countsTowardsConnectionState();
    if (record.counts) m_impl->learn(error);
    switch (error) {
    case IRemoteResource::NoError:
        record.attempts = 0;
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
        const Impl::Record& record = m_impl->records[resource];
        if (record.lastError == IRemoteResource::NoError) continue;
        if (!record.counts) {
            // Left out of the connection state: neither counted nor paced.
            resource->schedule(1, 0);
            return Retried;
        }
        if (m_impl->postponedOnce || m_impl->state == Online || m_impl->givingUp()) {
            m_impl->postponedOnce = false;
            ++m_impl->consecutiveRetries;
            if (record.lastError == IRemoteResource::InternetConnectionLost) ++m_impl->lostRetries;
            if (m_impl->state == Online && m_impl->consecutiveRetries > m_impl->params.unstableThreshold)
                m_impl->state = Unstable;
            else if (m_impl->lostRetries > m_impl->params.offlineThreshold)
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

void DownloadRetrier::networkAnswered(ISchedulableResource* resource) {
    if (!resource->countsTowardsConnectionState()) return;
    std::lock_guard lock(m_impl->mutex);
    m_impl->answered();
}

} // namespace Nolvar::App
