#pragma once
// The process's crash handler: an unhandled SEH exception or std::terminate writes a report folder with a
// minidump, the client information and the last log lines (breadcrumbs), then the process ends.
#include <functional>
#include <string>

#include "QorFilesystem/Path.h"

namespace Nolvar {

namespace CrashHandler {

// Who is affected: asked from the client-information callback whenever a report is written.
struct ClientInfo {
    std::string userId;
};

using ClientInfoCallback = std::function<ClientInfo()>;

// Folder that receives the reports when no other is given: %LOCALAPPDATA%\CrashReports\<executable name>.
ioPath DefaultReportFolder();

} // namespace CrashHandler

namespace Core {

// Installs the handler for the whole process (one at a time; a second call replaces the first). With
// `showSystemDialog` false the process ends quietly after the report; true hands the crash on to the system.
// Each report is a sub-folder "<UTC time>-<process id>" of `reportFolder` holding "crash.dmp", "report.json"
// (what happened and the client information) and "breadcrumbs.log".
void SetupCommonCrashHandler(CrashHandler::ClientInfoCallback clientInfo, bool showSystemDialog,
                             const ioPath& reportFolder = CrashHandler::DefaultReportFolder());
// Restores the handlers that were in place before.
void RemoveCommonCrashHandler();

} // namespace Core

namespace CrashHandler::Detail {
// Report of a handled exception (see Core::TrackException): written when the handler is installed.
void WriteTrackedException(const std::string& name, const std::string& details);
} // namespace CrashHandler::Detail

} // namespace Nolvar
