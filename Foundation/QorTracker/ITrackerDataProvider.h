#pragma once
// An optional source of the tracker's settings that the initializer record leaves empty.
#include <memory>
#include <string>
#include <utility>

#include "QorVersion/Version.h"

namespace Nolvar::Tracking {

// The settings key that turns sending off: the tracker only stores events.
inline constexpr const char* kPreventEventsSending = "STAT_PREVENT_EVENTS_SENDING";

class ITrackerSettings {
public:
    virtual ~ITrackerSettings() = default;
    virtual bool getBool(const std::string& key, bool defaultValue) const = 0;
};

class ITrackerDataProvider {
public:
    virtual ~ITrackerDataProvider() = default;
    virtual std::shared_ptr<ITrackerSettings> getSettings() const = 0;
    virtual std::string getVendor() const = 0;
    virtual Core::Version getVersion() const = 0;
    virtual std::pair<std::string, std::string> getHeader() const = 0;
    virtual std::string getProduct() const = 0;
    virtual std::string getModuleName() const = 0;
    virtual std::string getStatisticsUrl() const = 0;
};

} // namespace Nolvar::Tracking
