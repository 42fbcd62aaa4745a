#include "QorCrashHandler/TrackException.h"

#include <glog/logging.h>

namespace Nolvar::Core {

void TrackException(const std::string& name, const std::string& details) {
    LOG(WARNING) << "Exception reported: " << name << ": " << details;
}

} // namespace Nolvar::Core
