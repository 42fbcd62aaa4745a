#include "logic/logic/InstallerDecisions.h"

#include <algorithm>
#include <cmath>

namespace Nolvar {

namespace {

constexpr std::uint64_t kDiskSpaceFactor = 5;
constexpr char kAutoLaunchArgument[] = "/APP_LAUNCH_METHOD=Auto";

} // namespace

StateChange JudgeStateChange(RunState current, RunState posted, bool configured) {
    if (posted == RunState::Working && current == RunState::Working) return StateChange::RepeatedStart;
    if (posted == RunState::Working && current == RunState::Initial && !configured)
        return StateChange::HoldUntilConfigured;
    if (posted == RunState::Ready && current == RunState::Working) return StateChange::ReadyAfterStart;
    if (current == RunState::Exit && posted != RunState::Exit) return StateChange::AfterExit;
    return StateChange::Take;
}

StartScreenStep NextStartScreenStep(StartScreenState state, StartImageNews news) {
    switch (state) {
    case StartScreenState::NotShown:
        return news == StartImageNews::Arrived ? StartScreenStep::ShowWithImage : StartScreenStep::ShowWithoutImage;
    case StartScreenState::ShownWithoutImage:
        return news == StartImageNews::Arrived ? StartScreenStep::HandOverImage : StartScreenStep::Nothing;
    case StartScreenState::ShownWithImage: return StartScreenStep::Nothing;
    }
    return StartScreenStep::Nothing;
}

StartScreenState StartScreenAfter(StartScreenState state, StartScreenStep step) {
    switch (step) {
    case StartScreenStep::ShowWithImage:
    case StartScreenStep::HandOverImage: return StartScreenState::ShownWithImage;
    case StartScreenStep::ShowWithoutImage: return StartScreenState::ShownWithoutImage;
    case StartScreenStep::Nothing: return state;
    }
    return state;
}

bool TakesDownloadProgress(ItemStatus status) {
    return status == ItemStatus::New || status == ItemStatus::Downloading || status == ItemStatus::DownloadFailed;
}

bool TakesDownloadFinish(ItemStatus status) {
    return status == ItemStatus::Downloading || status == ItemStatus::DownloadFailed;
}

bool TakesDownloadFailure(ItemStatus status) { return status == ItemStatus::Downloading; }

unsigned DownloadProgressPercent(const InstallerItems& items, double reportedFraction) {
    constexpr double kFull = kFullProgress;
    double percent = 0.0;
    if (items.size() == 1) {
        percent = reportedFraction * kFull;
    } else {
        std::uint64_t received = 0;
        std::uint64_t total = 0;
        for (const InstallerItem& item : items) {
            received += item.receivedBytes;
            total += item.totalBytes;
        }
        if (total != 0) percent = static_cast<double>(received) * kFull / static_cast<double>(total);
    }
    if (!std::isfinite(percent) || percent < 0.0) return 0;
    return static_cast<unsigned>(std::min(percent, kFull));
}

DownloadOutcomes CountDownloadOutcomes(const InstallerItems& items) {
    DownloadOutcomes outcomes;
    outcomes.items = items.size();
    for (const InstallerItem& item : items) {
        outcomes.totalBytes += item.totalBytes;
        switch (item.status) {
        case ItemStatus::DownloadFailed:
            ++outcomes.failed;
            outcomes.failedReceivedBytes += item.receivedBytes;
            outcomes.failedTotalBytes += item.totalBytes;
            break;
        case ItemStatus::Downloaded: ++outcomes.downloaded; break;
        case ItemStatus::Skipped: ++outcomes.skipped; break;
        default: break;
        }
    }
    return outcomes;
}

AfterDownloadFailure NextAfterDownloadFailure(const DownloadOutcomes& outcomes, RunState state) {
    if (!outcomes.NoneRunning()) return AfterDownloadFailure::WaitForRunningDownloads;
    return state == RunState::Working ? AfterDownloadFailure::DecideNow : AfterDownloadFailure::DecideAtStart;
}

bool AllDone(const InstallerItems& items) {
    return std::all_of(items.begin(), items.end(), [](const InstallerItem& item) {
        return item.status == ItemStatus::Installed || item.status == ItemStatus::Skipped;
    });
}

std::uint64_t RequiredDiskSpace(const InstallerItems& items) {
    std::uint64_t pending = 0;
    for (const InstallerItem& item : items)
        if (item.status != ItemStatus::Installed && item.status != ItemStatus::Skipped) pending += item.totalBytes;
    return pending * kDiskSpaceFactor;
}

InstallerOutcome OutcomeOfExitState(ExitState state) {
    if (IsSuccessfulExit(state)) return InstallerOutcome::Succeeded;
    if (state == ExitStates::ProductStartedOnReinstall) return InstallerOutcome::ProductRunning;
    return InstallerOutcome::Failed;
}

ExitState RetryPopupExitState(const InstallerItem& item) {
    if (!item.executor) return ExitStates::NotReported;
    const ExitState state = item.executor->GetExitState();
    return IsSuccessfulExit(state) ? ExitStates::NotReported : state;
}

RetryRoad RetryRoadOf(ItemStatus status) {
    switch (status) {
    case ItemStatus::DownloadFailed: return RetryRoad::Download;
    case ItemStatus::InstallFailed: return RetryRoad::Install;
    default: return RetryRoad::None;
    }
}

const InstallerItem* ProductToWaitFor(const InstallerItems& items) {
    const auto first = FindItemByInstallOrder(items, 0);
    if (first == items.end()) return nullptr;
    const auto& args = first->installArgs;
    return std::find(args.begin(), args.end(), kAutoLaunchArgument) != args.end() ? &*first : nullptr;
}

} // namespace Nolvar
