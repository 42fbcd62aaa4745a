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
// The states of a run: set at construction, posted once the configuration leaves nothing in the way, when the
// user presses Start, and by every road that ends the run.
enum class RunState : std::int32_t {
    Initial = 0,
    Ready = 1,
    Working = 2,
    Exit = 3,
};

struct StateChanged {
    RunState state = RunState::Initial;
};
struct RetryPressed {};
struct SelectFolderDialog {};

} // namespace Nolvar
