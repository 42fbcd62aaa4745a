#pragma once
// The scheduler's collaborators: each answers one question about a download.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "App/Fetchwell/ResourceDescriptor.h"
#include "QorNetworking/Error.h"

namespace Nolvar::App {

// A network error code 0..16 one to one; 17 for any other code.
enum DownloaderErrorCode : std::int32_t { DownloaderErrorOther = 17 };

inline DownloaderErrorCode ToDownloaderErrorCode(std::int32_t networkErrorCode) {
    return networkErrorCode >= 0 && networkErrorCode <= 16 ? static_cast<DownloaderErrorCode>(networkErrorCode)
                                                           : DownloaderErrorOther;
}

class IPostProcessor {
public:
    virtual ~IPostProcessor() = default;
    // Non-zero: the downloaded file is unusable.
    virtual std::int32_t process(const ResourceDescriptor* descriptor) = 0;
};

class IResourceValidator {
public:
    virtual ~IResourceValidator() = default;
    // 1: the present file is invalid.
    virtual std::int32_t validate(const ResourceDescriptor* descriptor) = 0;
};

class IErrorHandler {
public:
    virtual ~IErrorHandler() = default;
    // True: the failure is handled (treated as cancelled).
    virtual bool handleError(const ResourceDescriptor* descriptor, DownloaderErrorCode code, std::int32_t status,
                             const std::string& message) = 0;
};

class IHeadersValidator {
public:
    using Headers = std::map<std::string, std::string>;
    enum Action : std::int32_t { Download = 0, SkipAsDone = 1, SkipAsCancelled = 2 };

    virtual ~IHeadersValidator() = default;
    virtual Action validateHeaders(const ResourceDescriptor* descriptor, const std::vector<Headers>& headers) = 0;
};

} // namespace Nolvar::App
