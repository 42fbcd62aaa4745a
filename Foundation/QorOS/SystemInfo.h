#pragma once
// Facts about the running operating system and process.
#include <string>
#include <string_view>

#include "QorVersion/Version.h"

namespace Nolvar::Core {

// The true Windows version (major, minor, build), whatever the executable's compatibility manifest says.
Version GetSystemVersion();
// "Windows".
std::string SystemName();
// The system version with its parts joined by `separator`, e.g. "10-0-19045" for "-".
std::string SystemVersion(std::string_view separator);
// Bitness of this process: "64" or "32".
std::string AppBits();
// Architecture of the processor: "x64", "arm64", "x86" or "unknown".
std::string ProcessorArchitecture();
// True when this x86-64 process runs emulated on an ARM64 machine.
bool IsRunningOnRosetta();

} // namespace Nolvar::Core
