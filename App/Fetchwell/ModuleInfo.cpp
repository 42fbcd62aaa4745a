#include "App/Fetchwell/ModuleInfo.h"

#include <glog/logging.h>

namespace Nolvar::App {

const char* FetchwellModuleVersion() {
    static const char* const version = [] {
        LOG(INFO) << "Fetchwell module version 2.0.0";
        return "2.0.0";
    }();
    return version;
}

} // namespace Nolvar::App
