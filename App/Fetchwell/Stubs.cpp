#include "App/Fetchwell/Stubs.h"

namespace Nolvar::App {

bool DownloadRetrierStub::downloadFinished(ISchedulableResource*, IRemoteResource::DownloadError) { return true; }
IDownloadRetrier::Result DownloadRetrierStub::check() { return NothingToRetry; }
IDownloadRetrier::ConnectionState DownloadRetrierStub::getState() const { return Online; }

INetworkStateChecker::State NetworkStateCheckerStub::getState() const { return Online; }

void EventTracerStub::trace(Event, const TraceRecord&) const {}

bool ErrorHandlerStub::handleError(const ResourceDescriptor*, DownloaderErrorCode, std::int32_t, const std::string&) {
    return false;
}

std::int32_t PostProcessorStub::process(const ResourceDescriptor*) { return 0; }

std::int32_t ResourceValidatorStub::validate(const ResourceDescriptor*) { return 0; }

} // namespace Nolvar::App
