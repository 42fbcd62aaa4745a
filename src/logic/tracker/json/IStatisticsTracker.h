#pragma once
// The installer's statistics interface: every statistics event of the installer goes through one of these.
#include <string>

#include "Tracking/Tallivo/Event.h"

namespace Nolvar {

// A configuration's "Statistics" values.
struct StatisticsSettings {
    std::string url;         // "url": where events are sent
    std::string productKey;  // "id"
    std::string product;     // "targetApplicationId": also names the folder events are stored in
};

class IStatisticsTracker {
public:
    virtual ~IStatisticsTracker() = default;
    // Initialises the process tracker from the configuration's "Statistics" values "url", "id" and
    // "targetApplicationId".
    virtual void Initialize(const std::string& statisticsUrl, const std::string& productKey,
                            const std::string& product) = 0;
    virtual void TrackEvent(Tracking::Instant::Event event) = 0;
};

} // namespace Nolvar
