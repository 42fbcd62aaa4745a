#include "logic/logic/ConfigDataProvider.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <glog/logging.h>

#include "utils/Resources.h"

namespace Nolvar {

ConfigDataProvider::ConfigDataProvider(const ioPath& configFile) {
    const std::filesystem::path file(configFile.wstring());
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (!error && size > kMaxConfigSize) {
        LOG(ERROR) << "Configuration file is larger than " << kMaxConfigSize << " bytes: " << size;
    } else if (std::ifstream in(file, std::ios::binary); in) {
        m_config.assign(std::istreambuf_iterator<char>(in), {});
    }
    m_default = LoadRcDataResource("IDR_DEFAULT_CFG");
    if (m_default.empty())
        LOG(ERROR) << "Failed to load default config";
    else
        LOG(INFO) << "Default config loaded, size: " << m_default.size();
}

} // namespace Nolvar
