#pragma once
// The breadcrumb sinks alive in the process, for the crash handler to read.
#include <string>
#include <vector>

namespace Nolvar::CrashHandler {
class SentryBreadCrumbsLogSink;
}

namespace Nolvar::CrashHandler::Detail {

void RegisterBreadcrumbSource(SentryBreadCrumbsLogSink* sink);
void UnregisterBreadcrumbSource(SentryBreadCrumbsLogSink* sink);
// Lines of every live sink; never blocks (a sink busy at the moment of a crash is skipped).
std::vector<std::string> CollectBreadcrumbs();

} // namespace Nolvar::CrashHandler::Detail
