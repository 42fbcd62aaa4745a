#pragma once
// The Windows installer launcher: runs the downloaded installer file as a child process.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "QorFilesystem/Path.h"
#include "utils/IInstallerExecutor.h"

namespace Nolvar {

// A launcher for the installer at `installerPath` with `arguments` (UTF-8), reporting under `name`. The command
// line is the path and the arguments separated by spaces; the path and each argument holding a space or a double
// quote are enclosed in double quotes, with their double quotes doubled. Starts nothing until Start.
std::unique_ptr<IInstallerExecutor> MakeInstallerExecutor(IInstallerExecutorObserver& observer, std::string name,
                                                          ioPath installerPath, std::vector<std::string> arguments,
                                                          std::chrono::milliseconds waitLimit = INSTALLER_WAIT_LIMIT);

} // namespace Nolvar
