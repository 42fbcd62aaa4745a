#pragma once
// The downloads of a run as the installer logic sees them: each registered download reports its outcome as
// events of the logic's loop.
#include <string>

#include "logic/logic/DownloadItem.h"

namespace Nolvar {

class IInstallerDownloads {
public:
    virtual ~IInstallerDownloads() = default;
    // Registers one download; it reports StartDownload/UpdateProgressDownload, then FinishDownload or FailDownload.
    virtual void download(DownloadItem item) = 0;
    // Queues the registered download of `url` again; it reports again.
    virtual void retry(const std::string& url) = 0;
};

} // namespace Nolvar
