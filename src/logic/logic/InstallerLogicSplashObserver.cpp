// What the installer logic does with the window's reports.
#include <exception>
#include <thread>

#include <glog/logging.h>

#include "QorCrashHandler/TrackException.h"
#include "logic/logic/InstallerLogicImpl.h"
#include "logic/logic/InstallerNames.h"
#include "logic/logic/StatisticsParams.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"

namespace Nolvar {

namespace {

// The crash-reporting test hook: a handled exception reported to the crash handler from a thread of its own.
void RunCrashReportingTest() {
    std::thread([] {
        try {
            throw std::runtime_error("Crash reporting test requested by the configuration");
        } catch (const std::exception& e) {
            Core::TrackException("CrashReportingTest", e.what());
        }
    }).join();
}

constexpr int kFolderPickerTitleTextId = 19;

const char* YesNo(bool value) { return value ? kStatisticsYes : kStatisticsNo; }

} // namespace

void InstallerLogic::Impl::OnStartPressed() {
    if (m_run.startPressed.exchange(true)) {
        LOG(INFO) << "Start button pressed again; ignored";
        return;
    }
    if (Settings::GetFlagOption(Settings::ID::TestingCrash)) RunCrashReportingTest();
    LOG(INFO) << "Start button pressed";
    // Tracked before the post, so the acceptance is never reported after the installations it leads to.
    Track("BUNDLE_EULA_ACCEPTED", {{StatisticsParam::AcceptanceResult, kStatisticsYes}});
    m_loop->post(StateChanged{RunState::Working});
}

void InstallerLogic::Impl::OnReadyPressed() {
    LOG(INFO) << "Ready button pressed";
    m_run.exitRequested = true;
    m_loop->post(StateChanged{RunState::Exit});
}

void InstallerLogic::Impl::OnExit(int screen, const std::string& reason) {
    EndRun(static_cast<SplashScreen>(screen), reason);
}

void InstallerLogic::Impl::EndRun(SplashScreen screen, const std::string& reason) {
    if (m_run.state.load() == RunState::Exit) return;
    // Acted on once, whichever thread comes first.
    if (m_run.exitRequested.exchange(true)) return;
    LOG(INFO) << "Exit button pressed";
    const RunState state = m_run.state.load();
    if (state == RunState::Initial || state == RunState::Ready || state == RunState::Working) {
        Track("BUNDLE_INSTALL_CANCELLED", Merged({{StatisticsParam::Screen, ScreenName(screen)},
                                                  {StatisticsParam::ErrorReason, reason}},
                                                 BundleErrorCountParams()));
    }
    m_loop->post(StateChanged{RunState::Exit});
}

void InstallerLogic::Impl::OnEulaRequestSucceeded() {
    Track("BUNDLE_EULA_REQUESTED", {{StatisticsParam::Result, "SUCCEEDED"}});
}

void InstallerLogic::Impl::OnEulaRequestFailed() { Track("BUNDLE_EULA_REQUESTED", {{StatisticsParam::Result, "FAILED"}}); }

void InstallerLogic::Impl::OnEulaShown() { Track("BUNDLE_EULA_SHOWN"); }

void InstallerLogic::Impl::OnEulaHidden() { Track("BUNDLE_EULA_HIDDEN"); }

void InstallerLogic::Impl::OnSkip() { m_loop->post(SkipPressed{}); }

void InstallerLogic::Impl::OnSkipPressed() {
    if (m_run.Ending()) return;
    for (auto& item : m_items) {
        if (item.status == ItemStatus::DownloadFailed || item.status == ItemStatus::InstallFailed) {
            item.status = ItemStatus::Skipped;
            break;
        }
        if (item.status == ItemStatus::Downloaded) StartInstall(item);
    }
}

void InstallerLogic::Impl::OnRetryPressed() { m_loop->post(RetryPressed{}); }

void InstallerLogic::Impl::OnRetryCancelled() { m_loop->post(RetryCancelled{}); }

void InstallerLogic::Impl::OnRetryDialogCancelled() {
    m_splash->SetScreen(SplashScreen::Cancel);
    EndRun(SplashScreen::Cancel, "Retry dialog cancelled!");
}

void InstallerLogic::Impl::OnSelectFolder() { m_loop->post(SelectFolderDialog{}); }

void InstallerLogic::Impl::OnSelectFolderDialog() {
    if (!m_parts.selectFolder) return;
    const ioPath chosen =
        m_parts.selectFolder(kFolderPickerTitleTextId, Settings::GetPath(Settings::ID::InstallFolder, ioPath()));
    if (!chosen.empty()) Settings::Set(Settings::ID::InstallFolder, std::any(chosen));
}

void InstallerLogic::Impl::OnScreenShown(int screen, bool imageShown) {
    const std::string displayImage = YesNo(imageShown);
    switch (static_cast<SplashScreen>(screen)) {
    case SplashScreen::Start:
        std::call_once(m_once.startScreenShown, [&] {
            Track("START_SCREEN_SHOWN", {{StatisticsParam::DisplayImage, displayImage},
                                         {StatisticsParam::InitializationTime, std::to_string(MsSinceStart())}});
        });
        break;
    case SplashScreen::Progress:
        std::call_once(m_once.downloadScreenShown,
                       [&] { Track("DOWNLOAD_SCREEN_SHOWN", {{StatisticsParam::DisplayImage, displayImage}}); });
        break;
    case SplashScreen::Wait: Track("INSTALL_SCREEN_SHOWN", {{StatisticsParam::DisplayImage, displayImage}}); break;
    case SplashScreen::Ready: Track("READY_SCREEN_SHOWN", {{StatisticsParam::DisplayImage, displayImage}}); break;
    default: break;
    }
}

void InstallerLogic::Impl::OnScreenImageAdded(int number) {
    const auto type = static_cast<SplashImageType>(number);
    const auto track = [&] { Track("SCREEN_IMAGE_ADDED", {{StatisticsParam::ImageType, ImageTypeName(type)}}); };
    // The main image is reported once per process, the others every time.
    if (type == SplashImageType::Main)
        std::call_once(m_once.startImageAdded, track);
    else
        track();
}

void InstallerLogic::Impl::OnSomethingWrongShown(const std::string& text) {
    Track("SOMETHING_WRONG_POPUP_SHOWN", Merged({{StatisticsParam::ErrorReason, text}}, BundleErrorCountParams()));
}

} // namespace Nolvar
