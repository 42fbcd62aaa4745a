#pragma once
#include <string>

#include "QorFilesystem/Path.h"
#include "Tracking/Tallivo/TallivoApi.h"

namespace Nolvar::Tracking::Instant {

// True when `name` can only ever be one plain folder name: not empty, no separators, no "." or "..", no drive,
// no characters Windows forbids in names, no control characters, no reserved device name, no trailing dot or space.
TALLIVO_API bool IsPlainPathComponent(const std::string& name);

// root / vendor / product / "EventsStorage". Throws std::invalid_argument when vendor or product is not a plain
// folder name, so nothing is ever stored outside `root`.
TALLIVO_API ioPath MakeStorageDirectory(const ioPath& root, const std::string& vendor, const std::string& product);

} // namespace Nolvar::Tracking::Instant
