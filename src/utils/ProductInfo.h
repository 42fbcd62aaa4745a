#pragma once
// Built-in facts about the product this installer delivers.
#include <string>

namespace Nolvar::Product {

// Display name shown to the user and used in the log program name.
std::string DisplayName();
// Lower-case product word: mutex name, user agent, configuration URL, statistics.
std::string Id();
// Brand word in lower case: user agent, configuration URL.
std::string BrandName();
// Where the configuration is downloaded from unless the command line or the signature tag say otherwise.
std::string DefaultConfigUrl();
// Version of the installer itself.
std::string InstallerVersion();
// Program name glog writes into its file names.
std::string LogProgramName();

} // namespace Nolvar::Product
