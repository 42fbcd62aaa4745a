#include "utils/ProductInfo.h"

namespace Nolvar::Product {

std::string DisplayName() { return "Netsetter"; }
std::string Id() { return "netsetter"; }
std::string BrandName() { return "nolvaria"; }
std::string DefaultConfigUrl() { return "https://config.netsetter.example/release/config.json-TAIL_WITH_ARGS-"; }
std::string InstallerVersion() { return "2.0.0"; }
std::string LogProgramName() { return DisplayName() + " Installer"; }

} // namespace Nolvar::Product
