#pragma once
// The folder the log files go to.
#include <optional>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar {

struct LogFolderChoice {
    ioPath folder;
    // Why the requested folder is not used; empty when it is (or none was requested).
    std::string fallbackNote;
};

// `requested` (UTF-8) when that folder can be created and a file written in it; otherwise, and when nothing is
// requested, `workingFolder`.
LogFolderChoice ChooseLogFolder(const std::optional<std::string>& requested, const ioPath& workingFolder);

} // namespace Nolvar
