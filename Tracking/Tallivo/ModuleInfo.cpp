#include "Tracking/Tallivo/ModuleInfo.h"

#include <glog/logging.h>

namespace Nolvar::Tracking {

const char* TallivoModuleVersion() {
    static const char* const version = [] {
        LOG(INFO) << "Tallivo module version 2.0.0";
        return "2.0.0";
    }();
    return version;
}

} // namespace Nolvar::Tracking
