#pragma once
#include "App/Fetchwell/IRemoteResource.h"

namespace Nolvar::App {

class IRemoteResourceScheduler {
public:
    virtual ~IRemoteResourceScheduler() = default;
    // Registers the bundle and schedules its items that are not yet scheduled (or at a lower priority).
    virtual IRemoteResource* registerAutoSchedule(const ResourceDescriptorBundle* bundle, SchedulePriority priority,
                                                  ScheduleOrder order) = 0;
    // The resource of the bundle (the same one for the same bundle address).
    virtual IRemoteResource* registerResource(const ResourceDescriptorBundle* bundle) = 0;
};

} // namespace Nolvar::App
