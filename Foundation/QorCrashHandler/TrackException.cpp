#include "QorCrashHandler/TrackException.h"

#include <glog/logging.h>

#include "QorCrashHandler/CrashHandler.h"

namespace Nolvar::Core {

void TrackException(const std::string& name, const std::string& details) {
    LOG(WARNING) << "Exception reported: " << name << ": " << details;
    CrashHandler::Detail::WriteTrackedException(name, details);
}

} // namespace Nolvar::Core
