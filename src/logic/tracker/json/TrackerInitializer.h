#pragma once
// What the installer initialises the process tracker with.
#include <string>

#include "QorTracker/IApplicationTracker.h"
#include "logic/tracker/json/IStatisticsTracker.h"

namespace Nolvar {

// The vendor word the installer reports in its statistics.
inline constexpr const char* kStatisticsVendor = "Nolvaria";

// "#PRODUCT_NAME=..#PRODUCT_KEY=..#PRODUCT_VENDOR=..#BUILD_NAME=..#USER_ID=.." from the settings. "#" and "="
// inside a value would make the tracker reject the whole string: they become "_", with a WARNING.
std::string MakeInitializationString(const std::string& productKey);

// The initializer for the configuration's statistics URL, product key and product.
Tracking::IApplicationTracker::Initializer MakeTrackerInitializer(const std::string& statisticsUrl,
                                                                  const std::string& productKey,
                                                                  const std::string& product);

// The same for a tracker that only stores events, where `settings` has them sent: it starts no sending thread and
// never uploads.
Tracking::IApplicationTracker::Initializer MakeStoringInitializer(const StatisticsSettings& settings);

// The user agent of a "User-Agent: <agent>" header line (the text unchanged when it has no such prefix).
std::string BareUserAgent(const std::string& headerLine);

} // namespace Nolvar
