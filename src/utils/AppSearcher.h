#pragma once
// Finds an installed product in the system's list of installed programs (the Uninstall registry keys).
#include <map>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar {

// Search keys of an installer entry: the Uninstall sub-key name prefix and the product's executable name.
inline constexpr char kSearchUninstallKeyPrefix[] = "search_installed_win_uninstall_registry_key_name";
inline constexpr char kSearchExeName[] = "search_installed_win_exe_name";

using SearchKeys = std::map<std::string, std::string>;

struct InstalledApplication {
    ioPath executablePath;   // empty when nothing was found
    ioPath uninstallerPath;
};

// Among the Uninstall sub-keys (current user and machine, 64-bit and 32-bit views) whose name begins with the
// prefix, the one with the highest numeric suffix whose executable exists. Never throws for unreadable keys or
// folders: they count as "not found".
InstalledApplication FindInstalledApplication(const SearchKeys& searchKeys);

// An UninstallString as a path: a trailing and then a leading double quote removed; arguments are kept.
ioPath UninstallerPathFromCommand(const std::wstring& uninstallString);

// The first entry of `folder` (not recursive) named `fileName` ignoring ASCII letter case; empty when there is
// none or the folder cannot be read.
ioPath FindFileInFolder(const ioPath& folder, const std::string& fileName);

} // namespace Nolvar
