#pragma once
// URL operations of the installer.
#include <map>
#include <string>

#include "QorFilesystem/Path.h"
#include "utils/DownloadKind.h"

namespace Nolvar {

// The last path segment of `url`, percent-decoded ("" for a URL without path segments). A trailing "/" is
// ignored. Throws boost::system::system_error when `url` is not a URI reference.
ioPath GetUrlFileName(const std::string& url);

// Extension check of a download of `kind` (image ".png", installer ".exe", configuration: any; any other kind
// fails); exact, letter case included. Throws like GetUrlFileName.
bool ValidateUrlExtensionForKind(DownloadKind kind, const std::string& url);

// With a staging token set, every "release" in `url` becomes "staging/<token>".
std::string ApplyStagingToUrl(const std::string& url);

// Adds "SOURCE", "URI" and "ARGS" (host, path and query of "EFFECTIVE_URL", percent-decoded) to the metrics.
std::map<std::string, std::string> getConnectionMetricsParams(std::map<std::string, std::string> params);

} // namespace Nolvar
