// The installer logic's download handlers: configuration, splash images and product installers.
#include <algorithm>
#include <optional>
#include <stdexcept>

#include <glog/logging.h>

#include "QorFilesystem/FileOperations.h"
#include "logic/logic/ConfigParser.h"
#include "logic/logic/InstallerDecisions.h"
#include "logic/logic/InstallerLogicImpl.h"
#include "logic/logic/InstallerNames.h"
#include "logic/logic/StatisticsParams.h"
#include "utils/Settings.h"

namespace Nolvar {

namespace {

std::string ReadBinaryFile(const ioPath& path) {
    auto bytes = Core::read_whole_file(path);
    return bytes ? std::move(*bytes) : std::string();
}

// The image a downloaded image of `screen` is added as: the progress, wait and ready screens' own images (the start
// screen's image is the main image).
std::optional<SplashImageType> AddedImageType(SplashScreen screen) {
    switch (screen) {
    case SplashScreen::Progress: return SplashImageType::Slideshow;
    case SplashScreen::Wait: return SplashImageType::Wait;
    case SplashScreen::Ready: return SplashImageType::Ready;
    default: return std::nullopt;
    }
}

} // namespace

void InstallerLogic::Impl::OnStartDownload(const StartDownload& event) {
    const DownloadItem& download = event.item;
    switch (download.kind) {
    case DownloadKind::Configuration: return Track("CONFIG_DOWNLOAD_STARTED");
    case DownloadKind::SplashImage:
        return Track("IMAGE_DOWNLOAD_STARTED",
                     {{StatisticsParam::ImageType, download.id}, {StatisticsParam::ImageLink, download.url}});
    case DownloadKind::ProductInstaller: return OnProductDownloadStarted(download);
    }
}

void InstallerLogic::Impl::OnProductDownloadStarted(const DownloadItem& download) {
    if (!m_downloadFlow.bundleStarted) {
        m_downloadFlow.bundleStarted = true;
        m_downloadFlow.bundleStart = SteadyNowNs();
        Track("BUNDLE_DOWNLOAD_STARTED", {{StatisticsParam::TotalSize, "0"}});
    }
    InstallerItem* const item = FindReportedItem(download.id);
    if (!item) return;
    // A late start report of a settled download is no new attempt.
    if (!TakesDownloadProgress(item->status)) return;
    Track("PRODUCT_DOWNLOAD_STARTED", {{StatisticsParam::ProductName, download.id}, {StatisticsParam::TotalSize, "0"}});
    item->totalBytes = download.state.total;
    item->receivedBytes = download.state.done;
    item->status = ItemStatus::Downloading;
    item->downloadStarted = SteadyNowNs();
}

void InstallerLogic::Impl::OnUpdateProgressDownload(const UpdateProgressDownload& event) {
    const DownloadItem& download = event.item;
    if (download.kind != DownloadKind::ProductInstaller) return;
    InstallerItem* const item = FindReportedItem(download.id);
    if (!item) return;
    if (!TakesDownloadProgress(item->status)) return;
    item->receivedBytes = download.state.done;
    item->totalBytes = download.state.total;
    item->status = ItemStatus::Downloading;
    if (m_run.state.load() != RunState::Working) return;
    m_splash->SetProgress(DownloadProgressPercent(m_items, download.state.percent));
}

void InstallerLogic::Impl::OnFinishDownload(const FinishDownload& event) {
    switch (event.item.kind) {
    case DownloadKind::SplashImage: return OnImageDownloaded(event.item);
    case DownloadKind::Configuration: return OnConfigDownloaded(event.item);
    case DownloadKind::ProductInstaller: return OnProductDownloaded(event.item);
    }
}

void InstallerLogic::Impl::OnFailDownload(const FailDownload& event) {
    switch (event.item.kind) {
    case DownloadKind::SplashImage: return OnImageDownloadFailed(event.item);
    case DownloadKind::Configuration: return OnConfigDownloadFailed(event.item);
    case DownloadKind::ProductInstaller: return OnProductDownloadFailed(event.item);
    }
}

void InstallerLogic::Impl::OnImageDownloaded(const DownloadItem& download) {
    Track("IMAGE_DOWNLOAD_COMPLETED",
          {{StatisticsParam::ImageType, download.id}, {StatisticsParam::TotalSize, std::to_string(download.state.total)}});
    const SplashScreen screen = ScreenFromName(download.id);
    std::string bytes = ReadBinaryFile(download.targetPath);
    if (screen == SplashScreen::Start) {
        UpdateStartScreen(StartImageNews::Arrived, std::move(bytes));
    } else if (const auto type = AddedImageType(screen)) {
        m_splash->AddImage(*type, std::move(bytes));
    }
}

void InstallerLogic::Impl::OnImageDownloadFailed(const DownloadItem& download) {
    const SplashScreen screen = ScreenFromName(download.id);
    if (screen == SplashScreen::Start) {
        UpdateStartScreen(StartImageNews::Failed);
    } else if (const auto type = AddedImageType(screen)) {
        m_splash->SetImageMissing(*type);
    }
    Track("IMAGE_DOWNLOAD_FAILED",
          Merged({{StatisticsParam::ImageType, download.id}}, DownloadErrorParams(download.state)));
}

void InstallerLogic::Impl::OnConfigDownloaded(const DownloadItem& download) {
    if (!TakeConfigurationOutcome()) return;
    ParseConfigFile(download, "CONFIG_DOWNLOAD_COMPLETED", {}, false);
}

void InstallerLogic::Impl::OnConfigDownloadFailed(const DownloadItem& download) {
    if (!TakeConfigurationOutcome()) return;
    if (!ParseConfigFile(download, "CONFIG_DOWNLOAD_FAILED", DownloadErrorParams(download.state), true))
        ShowNoConnection();
}

void InstallerLogic::Impl::OnProductDownloaded(const DownloadItem& download) {
    InstallerItem* const item = FindReportedItem(download.id);
    if (!item) return;
    // A late or repeated report must not bring back an item that is installing or done.
    if (!TakesDownloadFinish(item->status)) {
        LOG(WARNING) << "Download of " << download.id << " finished again; ignored";
        return;
    }
    item->status = ItemStatus::Downloaded;
    item->totalBytes = download.state.total;
    item->receivedBytes = download.state.done;
    const std::int64_t started = item->downloadStarted > 0 ? item->downloadStarted : SteadyNowNs();
    Track("PRODUCT_DOWNLOAD_FINISHED", Merged({{StatisticsParam::ProductName, item->id},
                                              {StatisticsParam::TotalSize, std::to_string(download.state.total)},
                                              {StatisticsParam::ErrorCount, std::to_string(item->downloadErrorCount)}},
                                             TransferParams(download.state.total, MsSince(started))));

    const DownloadOutcomes outcomes = CountDownloadOutcomes(m_items);
    if (!outcomes.AllDownloaded()) {
        // The last running download has ended while another had failed: that one's decision is due now.
        if (outcomes.failed != 0) DecideFailedDownloads(outcomes, FirstFailedDownload());
        return;
    }
    LOG(INFO) << "All products downloaded";
    Track("BUNDLE_DOWNLOAD_FINISHED", Merged({{StatisticsParam::TotalSize, std::to_string(outcomes.totalBytes)},
                                              {StatisticsParam::ErrorCount, std::to_string(m_errors.downloads.load())}},
                                             TransferParams(outcomes.totalBytes, MsSince(BundleStartOr(started)))));
    m_splash->SetProgress(kFullProgress);
    if (m_run.state.load() == RunState::Working) {
        m_splash->SetScreen(SplashScreen::Wait);
        StartDownloadedItems();
    }
}

void InstallerLogic::Impl::StartDownloadedItems() {
    for (auto& item : m_items)
        if (item.status == ItemStatus::Downloaded) StartInstall(item);
}

void InstallerLogic::Impl::OnProductDownloadFailed(const DownloadItem& download) {
    InstallerItem* const item = FindReportedItem(download.id);
    if (!item) return;
    if (!TakesDownloadFailure(item->status)) {
        LOG(WARNING) << "Download of " << download.id << " failed while it was not downloading; ignored";
        return;
    }
    ++item->downloadErrorCount;
    ++m_errors.downloads;
    item->status = ItemStatus::DownloadFailed;
    const DownloadOutcomes outcomes = CountDownloadOutcomes(m_items);
    TrackDownloadErrors(*item, download.state, outcomes);

    if (download.state.downloadError == App::IRemoteResource::NoSpaceLeft && CheckDiskSpace()) return;
    DecideFailedDownloads(outcomes, *item);
}

void InstallerLogic::Impl::DecideFailedDownloads(const DownloadOutcomes& outcomes, const InstallerItem& named) {
    switch (NextAfterDownloadFailure(outcomes, m_run.state.load())) {
    case AfterDownloadFailure::WaitForRunningDownloads: return;
    case AfterDownloadFailure::DecideNow: return DownloadRetryDecision(named);
    case AfterDownloadFailure::DecideAtStart: m_downloadFlow.failedBeforeStart = true; return;
    }
}

const InstallerItem& InstallerLogic::Impl::FirstFailedDownload() const {
    const auto failed = std::find_if(m_items.begin(), m_items.end(),
                                     [](const InstallerItem& i) { return i.status == ItemStatus::DownloadFailed; });
    if (failed == m_items.end()) throw std::logic_error("No failed download to decide about");
    return *failed;
}

void InstallerLogic::Impl::TrackDownloadErrors(const InstallerItem& item, const App::IRemoteResource::State& state,
                                               const DownloadOutcomes& outcomes) {
    const std::int64_t started = item.downloadStarted > 0 ? item.downloadStarted : BundleStartOr(SteadyNowNs());
    const StatisticsParams errors = DownloadErrorParams(state);
    Track("PRODUCT_DOWNLOAD_ERROR", Merged({{StatisticsParam::ProductName, item.id},
                                            {StatisticsParam::ErrorCount, std::to_string(item.downloadErrorCount)}},
                                           TransferParams(item.receivedBytes, MsSince(started)), errors));
    if (!outcomes.AllFailed()) return;
    Track("BUNDLE_DOWNLOAD_ERROR", Merged({{StatisticsParam::DownloadedSize, std::to_string(outcomes.failedReceivedBytes)},
                                           {StatisticsParam::TotalSize, std::to_string(outcomes.failedTotalBytes)},
                                           {StatisticsParam::ErrorCount, std::to_string(m_errors.downloads.load())}},
                                          TransferParams(outcomes.failedReceivedBytes, MsSince(BundleStartOr(started))),
                                          errors));
}

std::int64_t InstallerLogic::Impl::BundleStartOr(std::int64_t fallbackNs) const {
    return m_downloadFlow.bundleStart > 0 ? m_downloadFlow.bundleStart : fallbackNs;
}

bool InstallerLogic::Impl::TakeConfigurationOutcome() {
    // One configuration per run: a repeated report would register every product a second time.
    if (m_downloadFlow.configurationTaken) {
        LOG(WARNING) << "Configuration download reported again; ignored";
        return false;
    }
    m_downloadFlow.configurationTaken = true;
    return true;
}

void InstallerLogic::Impl::DownloadRetryDecision(const InstallerItem& item) {
    switch (m_retries.AfterDownloadFailure()) {
    case RetryRules::DownloadStep::OfferRetry: ShowRetry(item); return;
    case RetryRules::DownloadStep::ShowNoConnection: ShowNoConnection(); return;
    }
}

void InstallerLogic::Impl::ShowNoConnection() {
    Track("NO_CONNECTION_POPUP_SHOWN");
    m_splash->ShowNoConnectionPopup();
}

bool InstallerLogic::Impl::ParseConfigFile(const DownloadItem& item, const std::string& eventName,
                                           const Params& eventParams, bool builtInOnly) {
    Settings::Set(Settings::ID::ConfigFile, std::any(Core::Utf8FromPath(item.targetPath)));
    Track(eventName, eventParams);
    std::unique_ptr<ConfigParser> parser =
        m_parts.configSource ? std::make_unique<ConfigParser>(*this, m_parts.configSource(item.targetPath))
                             : std::make_unique<ConfigParser>(*this, item.targetPath);
    return builtInOnly ? parser->ParseDefaultConfig() : parser->ParseConfig();
}

} // namespace Nolvar
