#pragma once
// Calls into client code (observers, tracers) from the library's own bookkeeping: an exception there is logged
// and goes no further, so it never leaves a resource half-changed.
#include <exception>

#include <glog/logging.h>

namespace Nolvar::App::Detail {

template <class Call>
void CallClientCode(const char* what, Call&& call) noexcept {
    try {
        call();
    } catch (const std::exception& e) {
        LOG(ERROR) << what << " threw: " << e.what();
    } catch (...) {
        LOG(ERROR) << what << " threw an unknown exception";
    }
}

} // namespace Nolvar::App::Detail
