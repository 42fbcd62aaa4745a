#pragma once
// Collaborators that do nothing: used where a client supplies none.
#include "App/Fetchwell/Collaborators.h"
#include "App/Fetchwell/FetchwellApi.h"
#include "App/Fetchwell/IDownloadRetrier.h"
#include "App/Fetchwell/IEventTracer.h"
#include "App/Fetchwell/INetworkStateChecker.h"

namespace Nolvar::App {

class FETCHWELL_API DownloadRetrierStub : public IDownloadRetrier {
public:
    bool downloadFinished(ISchedulableResource* resource, IRemoteResource::DownloadError error) override;
    Result check() override;
    ConnectionState getState() const override;
};

class FETCHWELL_API NetworkStateCheckerStub : public INetworkStateChecker {
public:
    State getState() const override;
};

class FETCHWELL_API EventTracerStub : public IEventTracer {
public:
    void trace(Event event, const TraceRecord& record) const override;
};

class FETCHWELL_API ErrorHandlerStub : public IErrorHandler {
public:
    bool handleError(const ResourceDescriptor* descriptor, DownloaderErrorCode code, std::int32_t status,
                     const std::string& message) override;
};

class FETCHWELL_API PostProcessorStub : public IPostProcessor {
public:
    std::int32_t process(const ResourceDescriptor* descriptor) override;
};

class FETCHWELL_API ResourceValidatorStub : public IResourceValidator {
public:
    std::int32_t validate(const ResourceDescriptor* descriptor) override;
};

} // namespace Nolvar::App
