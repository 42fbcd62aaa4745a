#pragma once
// Reports a handled exception to the crash handler (kept in the crash folder's report and logged).
#include <string>

namespace Nolvar::Core {

// `name` says where it happened (e.g. a library's name or an exception type), `details` what happened.
void TrackException(const std::string& name, const std::string& details);

} // namespace Nolvar::Core
