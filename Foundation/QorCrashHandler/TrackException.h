#pragma once
// Reports a handled exception: logged, and kept in the crash folder when the crash handler is installed.
#include <string>

namespace Nolvar::Core {

// `name` says where it happened (e.g. a library's name or an exception type), `details` what happened.
void TrackException(const std::string& name, const std::string& details);

} // namespace Nolvar::Core
