#include "logic/logic/ConfigDataProvider.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <glog/logging.h>

#include "utils/Resources.h"

namespace Nolvar {

ConfigDataProvider::ConfigDataProvider(const ioPath& configFile) {
    std::ifstream in(std::filesystem::path(configFile.wstring()), std::ios::binary);
    if (in) m_config.assign(std::istreambuf_iterator<char>(in), {});
    m_default = LoadRcDataResource("IDR_DEFAULT_CFG");
    if (m_default.empty())
        LOG(ERROR) << "Failed to load default config";
    else
        LOG(INFO) << "Default config loaded, size: " << m_default.size();
}

} // namespace Nolvar
