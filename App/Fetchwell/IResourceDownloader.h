#pragma once
// Fetches one resource file into place.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "App/Fetchwell/Collaborators.h"
#include "App/Fetchwell/ResourceDescriptor.h"
#include "QorNetworking/Error.h"

namespace Nolvar::App {

class IResourceDownloader {
public:
    struct Task {
        const ResourceDescriptor* descriptor = nullptr;
        std::function<void(std::uint64_t done, std::uint64_t total)> progress;
        std::function<bool()> isCancelled;
        std::function<bool(const ResourceDescriptor*, DownloaderErrorCode, std::int32_t status, const std::string&)>
            errorHandler;
        // May be empty: then no HEAD request is made.
        std::function<IHeadersValidator::Action(const ResourceDescriptor*, const std::vector<IHeadersValidator::Headers>&)>
            headersValidator;
    };

    enum Code : std::int32_t {
        Done = 0,
        Failed = 1,
        ConnectionFailure = 2,  // host not found, timed out, or offline
        OutputFailure = 3,      // the output (or the cache copy) could not be written
        CancelledOrHandled = 4, // cancelled, or the error handler claimed the failure
    };

    struct ResultTask {
        std::int32_t code = Failed;
        Networking::Error error{Networking::Error::NotInitialized, ""};
    };

    virtual ~IResourceDownloader() = default;
    virtual ResultTask exec(Task task) = 0;
    // Every running and later request stops at its next stop check.
    virtual void abort() = 0;
    // Last-Modified of the resource in Unix seconds; 0 when unknown.
    virtual std::int64_t requestLastModified(const ResourceDescriptor* descriptor) = 0;
};

} // namespace Nolvar::App
