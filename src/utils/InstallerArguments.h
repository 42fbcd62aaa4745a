#pragma once
// The command-line arguments a product installer is started with.
#include <string>
#include <vector>

namespace Nolvar {

// The item's install arguments, then from the settings: "/D=" and the installation folder (backslashes, no
// trailing backslash), "/LOCALE=" and the locale with "_" for its first "-", "/WEBUID=" and "/NO_MERGE_WEBUIDS"
// when the web user id is set and differs from the machine id, "/PREFERRED_BROWSER=" when a browser is known.
std::vector<std::string> BuildInstallerArguments(const std::vector<std::string>& installArgs);

} // namespace Nolvar
