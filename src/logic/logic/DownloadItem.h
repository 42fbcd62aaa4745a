#pragma once
// One download of the installer: what, from where, to where, and its last reported state.
#include <cstdint>
#include <string>

#include "App/Fetchwell/IRemoteResource.h"
#include "QorFilesystem/Path.h"
#include "utils/DownloadKind.h"

namespace Nolvar {

struct DownloadItem {
    DownloadKind kind = DownloadKind::SplashImage;
    std::string id;         // image: screen name; installer: installer id; configuration: "config"
    std::string url;
    ioPath targetPath;      // empty: decided when the download is registered
    App::IRemoteResource::State state;
    bool alreadyRequested = false; // served by an earlier download of the same URL
};

namespace Util {
// True when the extension of the URL's file name fits the item's kind. Throws boost::system::system_error when
// the URL is not a URI reference.
bool ValidateResourceByExt(const DownloadItem& item);
} // namespace Util

} // namespace Nolvar
