#pragma once
// Events of the installer logic's loop.
#include <cstdint>

#include "logic/logic/DownloadItem.h"

namespace Nolvar {

struct StartDownload {
    DownloadItem item;
};
struct UpdateProgressDownload {
    DownloadItem item;
};
struct FinishDownload {
    DownloadItem item;
};
struct FailDownload {
    DownloadItem item;
};
// 0 initial, 1 ready, 2 working, 3 exit.
struct StateChanged {
    std::int32_t state = 0;
};
struct RetryPressed {};
struct SelectFolderDialog {};

} // namespace Nolvar
