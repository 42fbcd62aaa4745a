// The installation sequence: disk check, launch, installer results and retries.

#include <boost/filesystem/operations.hpp>
#include <glog/logging.h>

#include "logic/logic/InstallerDecisions.h"
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
    const std::uint64_t required = RequiredDiskSpace(m_items);
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
    const std::string browser = Settings::GetText(Settings::ID::PreferredBrowser);
    Track("PRODUCT_INSTALL_STARTED",
          Merged(ProductErrorCountParams(item), StatisticsParams{{StatisticsParam::PreferredBrowser, browser}}));
    item.status = ItemStatus::Installing;
    item.executor.reset();   // a previous launcher ends before the new one starts
    item.executor = m_parts.launchInstaller ? m_parts.launchInstaller(*this, item, m_parts.installerWaitLimit)
                                            : CreateInstallerExecutor(*this, item, m_parts.installerWaitLimit);
    ++m_run.runningInstallers;
    item.executor->Start();
}

void InstallerLogic::Impl::ShowRetry(const InstallerItem& item) {
    m_splash->ShowRetryPopup(ItemDisplayName(item), RetryPopupExitState(item));
}

void InstallerLogic::Impl::OnInstallerStarted(const std::string&) {}

void InstallerLogic::Impl::OnInstallerFinished(const std::string& name, ExitState exitState) {
    LOG(INFO) << name << " process finished with " << (exitState == ExitStates::Success ? "success" : "error");
    m_loop->post(InstallerFinished{name, exitState});
}

void InstallerLogic::Impl::OnInstallerResult(const InstallerFinished& result) {
    if (m_run.runningInstallers > 0) --m_run.runningInstallers;
    if (m_run.Ending()) return StopWhenInstallersEnded();
    InstallerItem* const item = FindReportedItem(result.name);
    if (!item) return;
    switch (OutcomeOfExitState(result.exitState)) {
    case InstallerOutcome::Succeeded: return OnInstallerSucceeded(*item);
    case InstallerOutcome::ProductRunning:
        m_run.productRunning = true;
        m_splash->ShowCloseProductPopup(ItemDisplayName(*item));
        return;
    case InstallerOutcome::Failed:
        CountInstallFailure(*item);
        Track("PRODUCT_INSTALL_FAILED",
              Merged(ProductErrorCountParams(*item),
                     StatisticsParams{{StatisticsParam::ExitState, ExitStateName(result.exitState)}}));
        return InstallFailed(*item);
    }
}

void InstallerLogic::Impl::OnInstallerSucceeded(InstallerItem& item) {
    item.status = ItemStatus::Installed;
    item.installed = FindInstalledApplication(item.searchKeys);
    const bool found = !item.installed.executablePath.empty();
    if (!found) {
        CountInstallFailure(item);
        LOG(WARNING) << item.id << " installer reported success but the product was not found";
        Track("PRODUCT_INSTALL_FAILED", ProductErrorCountParams(item));
    }
    Track("PRODUCT_INSTALL_FINISHED", ProductErrorCountParams(item));
    if (found)
        FinishRunWhenAllDone();
    else
        InstallFailed(item);
}

void InstallerLogic::Impl::CountInstallFailure(InstallerItem& item) {
    ++item.installErrorCount;
    ++m_errors.installs;
    item.status = ItemStatus::InstallFailed;
}

void InstallerLogic::Impl::InstallFailed(InstallerItem& item) {
    switch (m_retries.AfterInstallFailure()) {
    case RetryRules::InstallStep::RetryAtOnce: OnRetryPressed(); return;
    case RetryRules::InstallStep::OfferRetry: ShowRetry(item); return;
    case RetryRules::InstallStep::GiveUp: EndRun(SplashScreen::Wait, "RetryInstall failed after four tries"); return;
    }
}

void InstallerLogic::Impl::FinishRunWhenAllDone() {
    if (!AllDone(m_items)) return;
    Track("BUNDLE_INSTALL_FINISHED", BundleErrorCountParams());
    const auto finish = [this] {
        m_run.exitRequested = true;
        m_loop->post(StateChanged{RunState::Exit});
    };
    const InstallerItem* launched = ProductToWaitFor(m_items);
    if (!launched) return finish();
    LOG(INFO) << "Waiting for " << launched->id << " to start";
    m_productWait.Start(RunningCheckCopy(*launched), m_parts.launchedProductWait, m_parts.launchedProductPoll, finish);
}

void InstallerLogic::Impl::OnRetry() {
    if (m_run.state.load() == RunState::Exit) return;
    if (m_run.productRunning) {
        for (auto& item : m_items)
            if (item.executor && item.executor->GetExitState() == ExitStates::ProductStartedOnReinstall)
                StartInstall(item);
        if (ProductRunningWalk(false)) return;
        TakeHeldStart();
        // The flag was stale: the retry goes on for the failed items.
    }
    for (auto& item : m_items) {
        switch (RetryRoadOf(item.status)) {
        case RetryRoad::Download: {
            boost::system::error_code ignored;
            boost::filesystem::remove(item.targetPath, ignored);
            item.status = ItemStatus::Downloading;
            item.downloadStarted = SteadyNowNs();
            m_downloads->retry(item.url);
            break;
        }
        case RetryRoad::Install:
            item.status = ItemStatus::Downloaded;
            StartInstall(item);
            break;
        case RetryRoad::None: break;
        }
    }
}

} // namespace Nolvar
