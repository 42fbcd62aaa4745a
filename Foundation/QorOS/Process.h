#pragma once
// Questions about and actions on other processes.
#include <string>

namespace Nolvar::Core {

// True when a process whose executable file name equals `exeName` (UTF-8, letter case ignored) runs. A non-empty
// `folder` (UTF-8) also requires the executable to lie directly in that folder.
bool IsProcessRunning(const std::string& exeName, const std::string& folder);

// Brings forward the visible top-level window of another process started from an executable of the same file
// name as this one. Returns true when a window was found.
bool BringProcessToFront();

} // namespace Nolvar::Core
