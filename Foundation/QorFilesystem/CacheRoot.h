#pragma once
// Where per-user caches of our modules live.
#include "QorFilesystem/Path.h"

namespace Nolvar::Core {

// The current user's local application-data folder (not roaming). Throws std::runtime_error when Windows
// cannot name it.
ioPath GetSystemCacheRoot();

} // namespace Nolvar::Core
