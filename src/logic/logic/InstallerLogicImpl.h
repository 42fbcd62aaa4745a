#pragma once
// The state and the handlers of the installer logic. Items, counters and ISplash calls belong to the loop
// thread; other threads reach this object by posting to the loop, tracking statistics or reading atomics.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "logic/logic/ConfigUrlGenerator.h"
#include "logic/logic/EasyFetchwell.h"
#include "logic/logic/EventLoop.h"
#include "logic/logic/Events.h"
#include "logic/logic/IConfigParserObserver.h"
#include "logic/logic/InstallerDecisions.h"
#include "logic/logic/InstallerItem.h"
#include "logic/logic/InstallerLogic.h"
#include "logic/logic/InstallerLogicState.h"
#include "logic/logic/RetryRules.h"
#include "logic/logic/StatisticsParams.h"
#include "logic/tracker/json/IStatisticsTracker.h"
#include "splash/ISplash.h"
#include "splash/ISplashEventObserver.h"
#include "utils/AppMutex.h"
#include "utils/IInstallerExecutor.h"

namespace Nolvar {

// The result of one product installer, handed from the launcher's thread to the loop.
struct InstallerFinished {
    std::string name;
    ExitState exitState = ExitStates::NotReported;
};
// The skip road of the splash observer, handed to the loop.
struct SkipPressed {};
// Cancel of the retry pop-up, handed to the loop.
struct RetryCancelled {};
// The wait of the first screen for its image is over.
struct StartScreenDue {};

// Waits on a thread of its own for the product an installer launched; can be cancelled; joined by its owner.
class LaunchedProductWait {
public:
    LaunchedProductWait() = default;
    ~LaunchedProductWait();
    LaunchedProductWait(const LaunchedProductWait&) = delete;
    LaunchedProductWait& operator=(const LaunchedProductWait&) = delete;

    // Tests `item` at once and then every `poll` until it runs or `limit` has passed, then calls `done`.
    void Start(InstallerItem item, std::chrono::milliseconds limit, std::chrono::milliseconds poll,
               std::function<void()> done);
    void Cancel();

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_cancelled = false;
    std::thread m_thread;
};

class InstallerLogic::Impl : public virtual ISplashEventObserver,
                             public virtual IInstallerExecutorObserver,
                             public virtual IConfigParserObserver {
public:
    explicit Impl(InstallerLogicParts parts);
    ~Impl() override;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    void Run();

    // Loop handlers.
    void OnStateChanged(const StateChanged& event);
    void OnStartDownload(const StartDownload& event);
    void OnUpdateProgressDownload(const UpdateProgressDownload& event);
    void OnFinishDownload(const FinishDownload& event);
    void OnFailDownload(const FailDownload& event);
    void OnRetry();
    void OnSelectFolderDialog();
    void OnInstallerResult(const InstallerFinished& result);
    void OnSkipPressed();
    void OnRetryDialogCancelled();
    void OnStartScreenDue();

    // ISplashEventObserver (splash UI thread; OnExit also from the logic's own threads).
    void OnStartPressed() override;
    void OnReadyPressed() override;
    void OnExit(int screen, const std::string& reason) override;
    void OnEulaRequestSucceeded() override;
    void OnEulaRequestFailed() override;
    void OnEulaShown() override;
    void OnEulaHidden() override;
    void OnSkip() override;
    void OnRetryPressed() override;
    void OnRetryCancelled() override;
    void OnSelectFolder() override;
    void OnScreenShown(int screen, bool imageShown) override;
    void OnScreenImageAdded(int type) override;
    void OnSomethingWrongShown(const std::string& text) override;

    // IInstallerExecutorObserver (launcher threads).
    void OnInstallerStarted(const std::string& name) override;
    void OnInstallerFinished(const std::string& name, ExitState exitState) override;

    // IConfigParserObserver (loop thread, during a parse).
    void OnConfigName(const std::string& name) override;
    void OnInstallerFound(InstallerItem item) override;
    void OnSplashImage(int screen, const std::string& url) override;
    void OnStatisticsSettings(const std::string& url, const std::string& id,
                              const std::string& targetApplicationId) override;
    void OnConfigLoaded(const ValidationErrorMap& errors) override;
    void OnConfigInvalid(const ValidationErrorMap& errors) override;
    void OnDefaultConfigFailed() override;
    void OnConfigParsed() override;

private:
    using Params = StatisticsParams;

    // What the states Working and Exit start.
    void OnWorking();
    void OnExitState();
    // OnExit with the screen by name: the logic's own roads that end the run.
    void EndRun(SplashScreen screen, const std::string& reason);

    // The item a download or installer report names; null, logged at ERROR, when no item has that id.
    InstallerItem* FindReportedItem(const std::string& id);

    void Track(const std::string& name, Params params = {});
    // Elapsed milliseconds since a steady-clock reading in nanoseconds, and since the logic's start (at least 1).
    std::int64_t MsSince(std::int64_t fromNs) const;
    std::int64_t MsSinceStart() const;
    // DOWNLOAD_ERROR_COUNT and INSTALL_ERROR_COUNT of the whole run.
    Params BundleErrorCountParams() const;

    // Posts the Start pressed before the configuration was parsed, once nothing stands in its way.
    void TakeHeldStart();
    // The start screen after news of its image; `image` is the arrived image's bytes.
    void UpdateStartScreen(StartImageNews news, std::string image = {});

    // Download side, by road.
    void OnProductDownloadStarted(const DownloadItem& download);
    void OnImageDownloaded(const DownloadItem& download);
    void OnImageDownloadFailed(const DownloadItem& download);
    void OnConfigDownloaded(const DownloadItem& download);
    void OnConfigDownloadFailed(const DownloadItem& download);
    void OnProductDownloaded(const DownloadItem& download);
    void OnProductDownloadFailed(const DownloadItem& download);
    // PRODUCT_DOWNLOAD_ERROR, and BUNDLE_DOWNLOAD_ERROR once every product download has failed.
    void TrackDownloadErrors(const InstallerItem& item, const App::IRemoteResource::State& state,
                             const DownloadOutcomes& outcomes);
    // The bundle download's start; `fallbackNs` before the first product download has started.
    std::int64_t BundleStartOr(std::int64_t fallbackNs) const;
    bool ParseConfigFile(const DownloadItem& item, const std::string& eventName, const Params& eventParams,
                         bool builtInOnly);
    // True for the first outcome of the configuration download only.
    bool TakeConfigurationOutcome();
    void ShowNoConnection();
    // Once no download runs, the decision about the failed ones (the pop-up naming `named`), at once while the run
    // is working, else when Start is pressed.
    void DecideFailedDownloads(const DownloadOutcomes& outcomes, const InstallerItem& named);
    const InstallerItem& FirstFailedDownload() const;
    // The retry pop-up or, once the download retries are used up, the no-connection pop-up.
    void DownloadRetryDecision(const InstallerItem& item);
    void StartDownloadedItems();
    void ReportValidationErrors(const ValidationErrorMap& errors);

    // Installation side.
    bool CheckDiskSpace();
    void StartInstall(InstallerItem& item);
    void ShowRetry(const InstallerItem& item);
    void OnInstallerSucceeded(InstallerItem& item);
    // Raises the item's and the run's install error counts; the item is install failed.
    void CountInstallFailure(InstallerItem& item);
    // The automatic retry, the retry pop-up or the give-up.
    void InstallFailed(InstallerItem& item);
    void FinishRunWhenAllDone();
    // Sets the product running flag from the items; shows the close-product pop-up for the first that runs.
    bool ProductRunningWalk(bool reportFound);
    void StopWhenInstallersEnded();

    // Members in construction order; destroyed in reverse: splash, items, downloads, statistics, URL generator,
    // loop.
    std::shared_ptr<EventLoop> m_loop;
    std::unique_ptr<IUrlGenerator> m_urlGenerator;
    std::shared_ptr<IStatisticsTracker> m_statistics;
    std::shared_ptr<IInstallerDownloads> m_downloads;
    InstallerItems m_items;
    std::unique_ptr<ISplash> m_splash;
    LaunchedProductWait m_productWait;
    std::unique_ptr<ILockableSync> m_appMutex;

    const InstallerLogicParts m_parts;

    RunFlow m_run;
    DownloadFlow m_downloadFlow;
    ErrorCounts m_errors;
    RetryRules m_retries;
    OnceReports m_once;
    // Taken once the loop, downloads, tracker and splash exist; INITIALIZATION_TIME counts from it.
    std::chrono::steady_clock::time_point m_startTime;
};

// Steady-clock now in nanoseconds.
std::int64_t SteadyNowNs();

} // namespace Nolvar
