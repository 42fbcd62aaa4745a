#pragma once
// The result of one product installer, as the launcher reports it, the logic counts it and the window shows it.
#include <cstdint>

namespace Nolvar {

// Its exit code when it lies in -1..9, otherwise 1.
using ExitState = std::int32_t;

} // namespace Nolvar
