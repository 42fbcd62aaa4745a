#pragma once
#include <stdexcept>
#include <utility>

namespace Nolvar::Tracking::Instant::Detail {

// Passes a required pointer through; a null one is a programming error of the caller.
template <class Pointer>
Pointer NotNull(Pointer pointer) {
    if (!pointer) throw std::logic_error("NotNull can not initialized by null");
    return pointer;
}

} // namespace Nolvar::Tracking::Instant::Detail
