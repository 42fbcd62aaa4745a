#pragma once
// The statistics tracker interface shared by the installer, the download library and the tracking library.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "QorNetworking/HttpVersion.h"
#include "QorPointer/RefCount.h"
#include "QorVersion/Version.h"

namespace Nolvar::App {
class ILoggerFactory;
}

namespace Nolvar::Tracking {

class ITrackerDataProvider;
namespace Instant {
class IScheduler;
}

class IApplicationTracker : public virtual IRefCountable {
public:
    using Params = std::map<std::string, std::string>;

    struct Initializer {
        std::string initializationString;                       // KEY=VALUE pairs joined by "#"
        std::optional<std::string> moduleName;
        std::optional<std::string> reservedText;
        std::optional<std::string> statisticsUrl;
        std::optional<std::string> version;
        std::optional<std::string> vendor;
        std::optional<std::string> product;
        std::optional<std::pair<std::string, std::string>> extraHeader;
        std::optional<Networking::HttpVersion> protocolVersion;
        std::shared_ptr<Instant::IScheduler> scheduler;
        std::shared_ptr<ITrackerDataProvider> dataProvider;
        std::shared_ptr<void> reservedPointer;
    };

    virtual bool Initialize(Initializer initializer) = 0;
    virtual bool Initialize(const std::string& name, const Core::Version& version, const std::string& vendor,
                            const std::string& product, const std::shared_ptr<App::ILoggerFactory>& loggers) = 0;
    virtual bool Deinitialize() = 0;
    virtual bool IsInitialized() const = 0;
    virtual bool TrackEvent(const std::string& name, const Params& params) = 0;
    virtual bool TrackException(const std::string& name, const std::string& key, const std::string& value) = 0;
};

using ApplicationTrackerPtr = boost::intrusive_ptr<IApplicationTracker>;

} // namespace Nolvar::Tracking
