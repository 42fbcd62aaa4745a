#pragma once
#include "QorFilesystem/Path.h"

namespace Nolvar::Tracking::Instant {

// The path under which to create and rename to names that do not exist yet in `directory`.
//
// Under Wine, every lookup of a missing name in the Windows namespace reads the whole directory for a match
// without regard to case (Wine 8 ignores case-sensitive opens there), so each new event file would cost time
// in proportion to the backlog. Wine's Unix namespace ("\\?\unix\...") looks names up exactly: one stat. That
// form is returned only when it is verified to open the very same directory; on Windows, or when anything
// does not check out, `directory` itself. Exact lookup is safe for event files: their names have no letters
// whose case could differ.
ioPath ExactNameDirectory(const ioPath& directory);

} // namespace Nolvar::Tracking::Instant
