#pragma once
// The one way the window layer checks an HRESULT: a failure is logged with the call's name, the HRESULT and the
// place of the check (file and line of the caller).
#include <windows.h>

#include <source_location>

#include <glog/logging.h>

namespace Nolvar {

// Whether `hr` is a failure. A failure is logged at `severity` as "<call> failed: 0x<hr>" from the caller's place.
bool CallFailed(HRESULT hr, const char* call, google::LogSeverity severity = google::GLOG_ERROR,
                const std::source_location& where = std::source_location::current());

} // namespace Nolvar
