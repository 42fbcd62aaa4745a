// What the installer logic does with the configuration parser's reports.

#include <glog/logging.h>

#include "QorOS/Process.h"
#include "QorOS/SystemInfo.h"
#include "logic/logic/InstallerLogicImpl.h"
#include "logic/logic/InstallerNames.h"
#include "logic/logic/ProductRunning.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"
#include "utils/TextUtils.h"
#include "utils/WorkingFolder.h"

namespace Nolvar {

namespace {

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

void InstallerLogic::Impl::OnConfigName(const std::string& name) {
    Settings::Set(Settings::ID::ConfigName, std::any(name));
}

void InstallerLogic::Impl::OnInstallerFound(InstallerItem item) {
    for (const auto& [key, value] : item.searchKeys) {
        if (key.ends_with("exe_name")) item.exeName = value;
        if (key.ends_with("uninstall_registry_key_name") && item.displayName.empty()) item.displayName = value;
    }
    if (item.autodetectArch && item.url.find("x86_64") != std::string::npos && Core::IsRunningOnRosetta()) {
        item.url = ReplaceAll(item.url, "/x86_64/", "/arm64/");
        Track("PRODUCT_ARCH_CHANGED", {{StatisticsParam::ProductName, item.id}});
    }
    const std::string webUid = Settings::GetText(Settings::ID::WebUid);
    const std::string nameToken = webUid.empty() ? std::string() : "_W" + webUid + "_";
    item.status = ItemStatus::Downloading;
    item.targetPath = MakeRandomFilePath(GetWorkingFolder(), "exe", nameToken);
    item.downloadStarted = SteadyNowNs();

    DownloadItem download;
    download.kind = DownloadKind::ProductInstaller;
    download.id = item.id;
    download.url = item.url;
    download.targetPath = item.targetPath;
    m_items.push_back(std::move(item));
    m_downloads->download(std::move(download));
}

void InstallerLogic::Impl::OnSplashImage(int screen, const std::string& url) {
    DownloadItem download;
    download.kind = DownloadKind::SplashImage;
    download.id = ScreenName(static_cast<SplashScreen>(screen));
    download.url = ReplaceAll(url, "--locale--", GetCurrentLocale());
    m_downloads->download(std::move(download));
}

void InstallerLogic::Impl::OnStatisticsSettings(const std::string& url, const std::string& id,
                                                const std::string& targetApplicationId) {
    m_statistics->Initialize(url, id, targetApplicationId);
}

void InstallerLogic::Impl::ReportValidationErrors(const ValidationErrorMap& errors) {
    for (const auto& [error, info] : errors) {
        if (error == ValidationErrors::MissingSection) {
            Track("WI_CONFIG_GET_PARAM_ERROR", {{"WI_CONFIG_GET_PARAM_NAME", JoinWithComma(info.keys)}});
        } else if (error == ValidationErrors::MissingItem) {
            Track("WI_CONFIG_GET_FEATURE_ERROR",
                  {{"WI_CONFIG_GET_FEATURE_NAME", JoinWithComma(info.keys)}, {"WI_CONFIG_GET_PARAM_NAME", info.sectionName}});
        }
    }
}

void InstallerLogic::Impl::OnConfigLoaded(const ValidationErrorMap& errors) {
    ReportValidationErrors(errors);
    Track(errors.count(ValidationErrors::ConfigChanged) ? "WI_CONFIG_FILE_UPDATED" : "WI_CONFIG_FILE_NOT_UPDATED");
}

void InstallerLogic::Impl::OnConfigInvalid(const ValidationErrorMap& errors) { ReportValidationErrors(errors); }

void InstallerLogic::Impl::OnDefaultConfigFailed() {
    EndRun(SplashScreen::None, "Failed to parse default JSON config.");
}

void InstallerLogic::Impl::OnConfigParsed() {
    LOG(INFO) << "Config parsed";
    const std::string browser = Settings::GetText(Settings::ID::PreferredBrowser);
    Track("BUNDLE_INSTALL_STARTED", {{StatisticsParam::InitializationTime, std::to_string(MsSinceStart())},
                                     {StatisticsParam::PreferredBrowser, browser.empty() ? "UNDEFINED" : browser}});
    if (!m_run.ownsMutex) {
        LOG(INFO) << "Bundle " << Settings::GetText(Settings::ID::ProductId) << " already installing";
        Track("BUNDLE_INSTALL_REPEATED_DETECTED");
        Core::BringProcessToFront();
        EndRun(SplashScreen::None, "Self-closing another WI: installer for bundle " +
                                       Settings::GetText(Settings::ID::ProductDisplayName) + " already running.");
    }
    m_splash->Reserved4();
    SortByInstallOrder(m_items);
    m_run.configured = true;
    if (ProductRunningWalk(true)) return;   // a held Start waits for the answer to the close-product pop-up
    m_loop->post(StateChanged{RunState::Ready});
    TakeHeldStart();
}

bool InstallerLogic::Impl::ProductRunningWalk(bool reportFound) {
    m_run.productRunning = false;
    for (const auto& item : m_items) {
        m_run.productRunning = IsProductRunning(item);
        if (!m_run.productRunning) continue;
        if (reportFound) {
            LOG(INFO) << "Program " << item.id << "is already running";
            Track("INSTALLING_PROGRAM_IS_RUNNING");
        }
        m_splash->ShowCloseProductPopup(ItemDisplayName(item));
        return true;
    }
    return false;
}

} // namespace Nolvar
