#include "logic/logic/ConfigDataProvider.h"

#include <glog/logging.h>

#include "QorFilesystem/FileOperations.h"
#include "utils/Resources.h"

namespace Nolvar {

std::string LoadBuiltInConfig() { return LoadRcDataResource("IDR_DEFAULT_CFG"); }

ConfigDataProvider::ConfigDataProvider(const ioPath& configFile) {
    if (auto text = Core::read_whole_file(configFile, kMaxConfigSize)) {
        m_config = std::move(*text);
    } else if (text.error().step == Core::ReadFailure::TooLarge) {
        LOG(ERROR) << "Configuration file is larger than " << kMaxConfigSize << " bytes: " << text.error().size;
    }
    m_default = LoadBuiltInConfig();
    if (m_default.empty())
        LOG(ERROR) << "Failed to load default config";
    else
        LOG(INFO) << "Default config loaded, size: " << m_default.size();
}

} // namespace Nolvar
