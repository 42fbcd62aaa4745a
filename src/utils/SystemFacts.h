#pragma once
// Free disk space and facts about the operating system, as the installer reports them.
#include <cstdint>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar {

inline constexpr std::uint64_t kUnknownDiskSpace = 18446744073709551615ull;

// Bytes free for the calling user on the volume of `path`; kUnknownDiskSpace when the query fails.
std::uint64_t GetFreeDiskSpace(const ioPath& path);

std::string GetOsName();    // "Windows"
std::string GetOsBits();    // "64"
std::string GetOsEdition(); // "Workstation", "Domain controller", "Server" or ""
std::string GetOsVersion(); // e.g. "10.0.19045"

// "<brand> <product id> <product or installer version> web", from the settings.
std::string MakeUserAgent();
// "User-Agent: " followed by MakeUserAgent().
std::string MakeUserAgentHeader();

} // namespace Nolvar
