// The installation sequence: disk check, launch, installer results and retries.
#include <algorithm>

#include <boost/filesystem/operations.hpp>
#include <glog/logging.h>

#include "logic/logic/InstallerLogicImpl.h"
#include "logic/logic/InstallerNames.h"
#include "logic/logic/StatisticsParams.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"
#include "utils/SystemFacts.h"
#include "utils/WorkingFolder.h"
#include "utils/win/InstallerExecutor.h"

namespace Nolvar {

namespace {

constexpr char kAutoLaunchArgument[] = "/APP_LAUNCH_METHOD=Auto";
constexpr int kCloseButtonHidden = 1;

// The fields the running test reads, without the launcher.
InstallerItem RunningCheckCopy(const InstallerItem& item) {
    InstallerItem copy;
    copy.id = item.id;
    copy.exeName = item.exeName;
    copy.searchKeys = item.searchKeys;
    copy.checkAppRunning = item.checkAppRunning;
    return copy;
}

} // namespace

bool InstallerLogic::Impl::CheckDiskSpace() {
    std::uint64_t pending = 0;
    for (const auto& item : m_items)
        if (item.status != ItemStatus::Installed && item.status != ItemStatus::Skipped) pending += item.totalBytes;
    const std::uint64_t required = pending * 5;
    LOG(INFO) << "Installation requires " << required << " bytes available on disk";

    const ioPath installFolder = Settings::GetPath(Settings::ID::InstallFolder, ioPath());
    const auto freeSpace = m_parts.freeDiskSpace ? m_parts.freeDiskSpace : InstallerLogicParts::FreeSpaceQuery(GetFreeDiskSpace);
    for (const ioPath& folder : {GetWorkingFolder(), installFolder}) {
        const std::uint64_t available = freeSpace(folder);
        if (available >= required) continue;
        m_splash->ShowDiskSpacePopup(Core::Utf8FromPath(folder.generic_path()), required, available);
        Track("NOT_ENOUGH_DISK_SPACE", {{StatisticsParam::RequiredBytes, std::to_string(required)},
                                        {StatisticsParam::AvailableBytes, std::to_string(available)}});
        return true;
    }
    return false;
}

void InstallerLogic::Impl::StartInstall(InstallerItem& item) {
    if (CheckDiskSpace()) {
        item.status = ItemStatus::InstallFailed;
        return;
    }
    m_splash->SetCloseButtonHidden(kCloseButtonHidden);
    Track("PRODUCT_INSTALL_STARTED",
          Merged(ProductErrorCountParams(item),
                 StatisticsParams{{StatisticsParam::PreferredBrowser, Settings::GetText(Settings::ID::PreferredBrowser)}}));
    item.status = ItemStatus::Installing;
    item.executor.reset();   // a previous launcher ends before the new one starts
    item.executor = CreateInstallerExecutor(*this, item, m_parts.installerWaitLimit);
    ++m_runningInstallers;
    item.executor->Start();
}

void InstallerLogic::Impl::ShowRetry(const InstallerItem& item) {
    ExitState exitState = item.executor ? item.executor->GetExitState() : ExitStates::NotReported;
    // An installer that reported success but left no product: there is no installer error to name.
    if (IsSuccessfulExit(exitState)) exitState = ExitStates::NotReported;
    m_splash->ShowRetryPopup(ItemDisplayName(item), exitState);
}

void InstallerLogic::Impl::OnInstallerStarted(const std::string&) {}

void InstallerLogic::Impl::OnInstallerFinished(const std::string& name, ExitState exitState) {
    LOG(INFO) << name << " process finished with " << (exitState == ExitStates::Success ? "success" : "error");
    m_loop->post(InstallerFinished{name, exitState});
}

void InstallerLogic::Impl::OnInstallerResult(const InstallerFinished& result) {
    if (m_runningInstallers > 0) --m_runningInstallers;
    if (m_state.load() == RunState::Exit || m_exitRequested.load()) {
        StopWhenInstallersEnded();
        return;
    }
    const auto item = FindItemById(m_items, result.name);
    if (item == m_items.end()) {
        LOG(ERROR) << "Couldn't find installer with id=" << result.name;
        return;
    }
    if (IsSuccessfulExit(result.exitState)) {
        item->status = ItemStatus::Installed;
        item->installed = FindInstalledApplication(item->searchKeys);
        const bool found = !item->installed.executablePath.empty();
        if (!found) {
            ++item->installErrorCount;
            ++m_installErrorCount;
            item->status = ItemStatus::InstallFailed;
            LOG(WARNING) << item->id << " installer reported success but the product was not found";
            Track("PRODUCT_INSTALL_FAILED", ProductErrorCountParams(*item));
        }
        Track("PRODUCT_INSTALL_FINISHED", ProductErrorCountParams(*item));
        if (!found) return InstallFailed(*item);
        FinishRunWhenAllDone();
        return;
    }
    if (result.exitState == ExitStates::ProductStartedOnReinstall) {
        m_productRunning = true;
        m_splash->ShowCloseProductPopup(ItemDisplayName(*item));
        return;
    }
    ++item->installErrorCount;
    ++m_installErrorCount;
    item->status = ItemStatus::InstallFailed;
    Track("PRODUCT_INSTALL_FAILED", Merged(ProductErrorCountParams(*item),
                                           StatisticsParams{{StatisticsParam::ExitState, ExitStateName(result.exitState)}}));
    InstallFailed(*item);
}

void InstallerLogic::Impl::InstallFailed(InstallerItem& item) {
    if (m_automaticInstallRetry) {
        m_automaticInstallRetry = false;
        OnRetryPressed();
        return;
    }
    const std::int32_t shown = m_installRetryCount++;
    if (shown > 2)
        EndRun(SplashScreen::Wait, "RetryInstall failed after four tries");
    else
        ShowRetry(item);
}

void InstallerLogic::Impl::FinishRunWhenAllDone() {
    if (!AllDone(m_items)) return;
    Track("BUNDLE_INSTALL_FINISHED", BundleErrorCountParams());
    const auto finish = [this] {
        m_exitRequested = true;
        m_loop->post(StateChanged{RunState::Exit});
    };
    const auto first = FindItemByInstallOrder(m_items, 0);
    if (first == m_items.end() ||
        std::find(first->installArgs.begin(), first->installArgs.end(), kAutoLaunchArgument) == first->installArgs.end())
        return finish();
    LOG(INFO) << "Waiting for " << first->id << " to start";
    m_productWait.Start(RunningCheckCopy(*first), m_parts.launchedProductWait, m_parts.launchedProductPoll, finish);
}

void InstallerLogic::Impl::OnRetry() {
    if (m_state.load() == RunState::Exit) return;
    if (m_productRunning) {
        for (auto& item : m_items)
            if (item.executor && item.executor->GetExitState() == ExitStates::ProductStartedOnReinstall)
                StartInstall(item);
        if (ProductRunningWalk(false)) return;
        // The flag was stale: the retry goes on for the failed items.
    }
    for (auto& item : m_items) {
        if (item.status == ItemStatus::DownloadFailed) {
            boost::system::error_code ignored;
            boost::filesystem::remove(item.targetPath, ignored);
            item.status = ItemStatus::Downloading;
            item.downloadStarted = SteadyNowNs();
            m_downloads->retry(item.url);
        } else if (item.status == ItemStatus::InstallFailed) {
            item.status = ItemStatus::Downloaded;
            StartInstall(item);
        }
    }
}

} // namespace Nolvar
