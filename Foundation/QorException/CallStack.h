#pragma once
// The calling thread's stack as text, for error messages and crash reports.
#include <string>

namespace Nolvar::Core {

// One line per frame, innermost first, starting at the caller of GetCallStack: "#N module+0xOFFSET".
std::string GetCallStack();

} // namespace Nolvar::Core
