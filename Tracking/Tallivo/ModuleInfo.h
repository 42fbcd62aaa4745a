#pragma once
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking {

// Version of the loaded event-tracking library; logs it once at INFO.
TALLIVO_API const char* TallivoModuleVersion();

} // namespace Nolvar::Tracking
