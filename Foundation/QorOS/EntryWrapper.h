#pragma once
// Process entry helper: hands the process arguments, as UTF-8, to the program's main function.
#include <functional>

namespace Nolvar::Core {

using MainFunction = std::function<int(int argc, char** argv)>;

// Calls `main` once with the arguments of the process command line (UTF-8, argv[argc] is null) and returns its
// result. An exception escaping `main` is logged to standard error and gives the result 1.
int EntryWrapper(const MainFunction& main);

} // namespace Nolvar::Core
