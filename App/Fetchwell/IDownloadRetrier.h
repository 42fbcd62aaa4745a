#pragma once
// Decides whether a failed download is tried again and when.
#include <cstdint>

#include "App/Fetchwell/IRemoteResource.h"

namespace Nolvar::App {

class IDownloadRetrier {
public:
    enum Result : std::int32_t { NothingToRetry = 0, Retried = 1, Postponed = 2 };
    enum ConnectionState : std::int32_t { Online = 0, Unstable = 1, Offline = 2 };

    virtual ~IDownloadRetrier() = default;
    // True: the outcome is final; false: the resource waits for a retry.
    virtual bool downloadFinished(ISchedulableResource* resource, IRemoteResource::DownloadError error) = 0;
    virtual Result check() = 0;
    virtual ConnectionState getState() const = 0;
    // Body bytes of a try of a resource arrived: the network answers, whatever the try's outcome.
    virtual void networkAnswered(ISchedulableResource* /*resource*/) {}
};

} // namespace Nolvar::App
