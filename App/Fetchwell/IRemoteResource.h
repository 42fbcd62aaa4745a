#pragma once
// A registered resource as the client sees it: its state, scheduling and the observers of its state.
#include <cstdint>
#include <set>
#include <string>

#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/ResourceDescriptor.h"
#include "QorNetworking/Error.h"

namespace Nolvar::App {

using SchedulePriority = std::int32_t;  // 0, 1 or 2
using ScheduleOrder = std::int32_t;     // non-zero: ahead of the tasks already queued

class ISchedulableResource {
public:
    virtual ~ISchedulableResource() = default;
    virtual void schedule(SchedulePriority priority, ScheduleOrder order) = 0;
    // Returns whether the resource was already cancelled.
    virtual bool cancel() = 0;
    // Whether its outcomes speak for the connection state. One the client can do without may live on a host of its
    // own: its failures say nothing about the network the others use.
    virtual bool countsTowardsConnectionState() const { return true; }
};

class IRemoteResourceEventHandler;

class FETCHWELL_API IRemoteResource : public ISchedulableResource {
public:
    enum DownloadStatus : std::int32_t { Initial = 0, Downloading = 1, Available = 2, TryAgain = 3, Error = 4 };

    enum DownloadError : std::int32_t {
        NoError = 0,
        GeneralError = 1,
        Cancelled = 2,
        Corrupted = 3,
        InternetConnectionLost = 4,
        NoSpaceLeft = 5,
    };

    struct FETCHWELL_API State {
        DownloadStatus status = Initial;
        DownloadError downloadError = NoError;
        Networking::Error networkError{Networking::Error::NotInitialized, ""};
        double percent = 0.0;
        std::uint64_t done = 0;
        std::uint64_t total = 0;

        std::string toDebugString() const;
        friend bool operator==(const State&, const State&) = default;
    };

    struct NotificationParams {
        bool progressNotifications = true;
        std::set<DownloadStatus> statuses{Initial, Downloading, Available, TryAgain, Error};
        double progressStep = 0.01;
    };

    virtual State getState() const = 0;
    virtual const ResourceDescriptorBundle* getDescriptorBundle() const = 0;
    virtual void registerEventHandler(IRemoteResourceEventHandler* handler, const NotificationParams& params) = 0;
    virtual void unregisterEventHandler(IRemoteResourceEventHandler* handler) = 0;

    static std::string statusToString(DownloadStatus status);
    static std::string downloadErrorToString(DownloadError error);
    static std::string networkErrorToString(const Networking::Error& error);
};

class IRemoteResourceEventHandler {
public:
    virtual ~IRemoteResourceEventHandler() = default;
    virtual void onStateChanged(IRemoteResource::State state, const ResourceDescriptorBundle* bundle) = 0;
};

} // namespace Nolvar::App
