#pragma once
// Named trace events of the library.
#include <cstdint>
#include <string>

#include "App/Fetchwell/IRemoteResource.h"

namespace Nolvar::App {

class IEventTracer {
public:
    enum Event : std::int32_t {
        ExecScheduled = 0,
        Exec = 1,
        ExecEnd = 2,
        ValidatorCheck = 3,
        RegisterValidator = 4,
        StatusNotification = 5,
        StatusNotificationEnd = 6,
        ProgressNotification = 7,
        ProgressNotificationEnd = 8,
        Download = 9,
        DownloadEnd = 10,
    };

    struct TraceRecord {
        const ResourceDescriptor* descriptor = nullptr;
        const ResourceDescriptorBundle* bundle = nullptr;
        const IRemoteResource::State* state = nullptr;
        std::string text;
    };

    virtual ~IEventTracer() = default;
    virtual void trace(Event event, const TraceRecord& record) const = 0;
};

} // namespace Nolvar::App
