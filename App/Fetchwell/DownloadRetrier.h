#pragma once
// Retries failed downloads a limited number of times and derives the connection state from consecutive retries and
// from how long the connection has been lost.
#include <chrono>
#include <cstdint>
#include <memory>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IDownloadRetrier.h"

namespace Nolvar::App {

class FETCHWELL_API DownloadRetrier : public IDownloadRetrier {
public:
    struct Params {
        std::uint64_t maxRetries = 1;                 // per resource, errors other than InternetConnectionLost
        std::uint64_t maxConnectionLostRetries = 20;  // per resource, InternetConnectionLost
        std::uint64_t unstableThreshold = 2;          // consecutive retries before Unstable
        // Consecutive retries after a lost connection (time-out, unknown host), with nothing answering meanwhile,
        // before Offline. An answer of any kind, an HTTP error too, shows that the network works.
        std::uint64_t offlineThreshold = 10;
        // Offline, a failure is final and a queued resource has its last try at once: for a client whose user
        // waits for the outcome rather than for the connection to come back.
        bool giveUpWhenOffline = false;
        // A connection lost again this long after it was first lost, with nothing answering meanwhile, is Offline
        // however few the retries: a network that swallows requests times out slowly. Zero: only the count.
        std::chrono::milliseconds offlineAfter{0};
    };

    explicit DownloadRetrier(Params params);
    ~DownloadRetrier() override;
    DownloadRetrier(const DownloadRetrier&) = delete;
    DownloadRetrier& operator=(const DownloadRetrier&) = delete;

    bool downloadFinished(ISchedulableResource* resource, IRemoteResource::DownloadError error) override;
    Result check() override;
    ConnectionState getState() const override;
    void networkAnswered(ISchedulableResource* resource) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar::App
