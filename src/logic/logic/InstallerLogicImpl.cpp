#include "logic/logic/InstallerLogicImpl.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include <glog/logging.h>

#include "logic/helpers/WebUidProvider.h"
#include "logic/logic/ConfigParser.h"
#include "logic/logic/InstallerDecisions.h"
#include "logic/logic/InstallerNames.h"
#include "logic/logic/ProductRunning.h"
#include "logic/logic/StatisticsParams.h"
#include "logic/tracker/json/JsonStatisticsTracker.h"
#include "utils/Localization.h"
#include "utils/ProductInfo.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"
#include "utils/SystemFacts.h"
#include "utils/TextUtils.h"
#include "utils/UrlUtils.h"

#ifndef NETSETTER_BUILD_COMMIT
#define NETSETTER_BUILD_COMMIT "unknown"
#endif

namespace Nolvar {

namespace {

constexpr char kConfigurationDownloadId[] = "config";

// The run's statistics tracker. Events still waiting for a configuration when the run ends are stored where the
// built-in configuration has events stored.
std::shared_ptr<IStatisticsTracker> MakeStatistics(const InstallerLogicParts& parts) {
    if (parts.statistics) return parts.statistics;
    auto builtIn = [source = parts.configSource] {
        return ReadStatisticsSettings(source ? source(ioPath())->GetDefaultConfig() : LoadBuiltInConfig());
    };
    return std::make_shared<JsonStatisticsTracker>(JsonStatisticsTracker::ProcessTracker,
                                                   JsonStatisticsTracker::kMaxPendingEvents, std::move(builtIn));
}

} // namespace

std::int64_t SteadyNowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

InstallerLogic::InstallerLogic(InstallerLogicParts parts) : m_impl(std::make_unique<Impl>(std::move(parts))) {}

InstallerLogic::~InstallerLogic() {
    m_impl.reset();
    LOG(INFO) << "InstallerLogic::Impl destructed";
}

bool InstallerLogic::Run() {
    try {
        m_impl->Run();
        return false;
    } catch (const std::exception& e) {
        LOG(ERROR) << "Installer run ended by an exception: " << e.what();
    } catch (...) {
        LOG(ERROR) << "Installer run ended by an unknown exception";
    }
    return true;
}

InstallerLogic::Impl::Impl(InstallerLogicParts parts) : m_parts(std::move(parts)) {
    m_loop = std::make_shared<EventLoop>();
    m_downloads = m_parts.makeDownloads ? m_parts.makeDownloads(m_loop)
                                        : std::make_shared<EasyFetchwell>(m_loop, m_parts.downloads);
    if (!m_downloads) throw std::runtime_error("The downloads could not be made");
    m_statistics = MakeStatistics(m_parts);
    m_urlGenerator = std::make_unique<ConfigUrlGenerator>();
    if (!m_parts.attachSplash) throw std::invalid_argument("InstallerLogic needs a splash");
    m_splash = m_parts.attachSplash(*this);
    if (!m_splash) throw std::runtime_error("The splash could not be created");
    m_startTime = std::chrono::steady_clock::now();

    LOG(INFO) << "Installer started";
    LOG(INFO) << "Version: " << Product::InstallerVersion();
    LOG(INFO) << "Build commit: " << NETSETTER_BUILD_COMMIT;
    LOG(INFO) << "DistribName: " << Settings::GetText(Settings::ID::DistribName);
    LOG(INFO) << "Default locale: " << DefaultLocale() << ", available locales: [" << JoinWithComma(AvailableLocales())
              << "]";

    m_loop->on<FinishDownload>([this](const FinishDownload& e) { OnFinishDownload(e); });
    m_loop->on<StartDownload>([this](const StartDownload& e) { OnStartDownload(e); });
    m_loop->on<UpdateProgressDownload>([this](const UpdateProgressDownload& e) { OnUpdateProgressDownload(e); });
    m_loop->on<FailDownload>([this](const FailDownload& e) { OnFailDownload(e); });
    m_loop->on<StateChanged>([this](const StateChanged& e) { OnStateChanged(e); });
    m_loop->on<RetryPressed>([this](const RetryPressed&) { OnRetry(); });
    m_loop->on<SelectFolderDialog>([this](const SelectFolderDialog&) { OnSelectFolderDialog(); });
    m_loop->on<InstallerFinished>([this](const InstallerFinished& e) { OnInstallerResult(e); });
    m_loop->on<SkipPressed>([this](const SkipPressed&) { OnSkipPressed(); });
    m_loop->on<RetryCancelled>([this](const RetryCancelled&) { OnRetryDialogCancelled(); });
    m_loop->on<StartScreenDue>([this](const StartScreenDue&) { OnStartScreenDue(); });
    m_loop->postAfter(m_parts.startScreenWait, StartScreenDue{});
}

InstallerLogic::Impl::~Impl() {
    LOG(INFO) << "InstallerLogic::Impl destruction started";
    m_productWait.Cancel();
    // Only a run ended by an exception leaves installers running: they are left to finish, never terminated.
    if (m_run.runningInstallers > 0)
        LOG(INFO) << "Waiting for " << m_run.runningInstallers << " running installer(s) to end";
    for (auto& item : m_items)
        if (item.executor) item.executor->WaitForEnd();
}

void InstallerLogic::Impl::Run() {
    // Whatever ends the run, the window closes and the single-instance mutex is released.
    struct RunEnd {
        Impl& impl;
        ~RunEnd() {
            try {
                impl.m_splash->Close();
            } catch (const std::exception& e) {
                LOG(ERROR) << "Closing the splash failed: " << e.what();
            }
            impl.m_appMutex.reset();
        }
    } runEnd{*this};

    using Settings::GetText;
    m_appMutex = CreateAppMutex(GetText(Settings::ID::BrandName) + GetText(Settings::ID::ProductId));
    m_run.ownsMutex = m_appMutex->tryLock(0);

    const std::string displayName = GetText(Settings::ID::ProductDisplayName);
    LOG(INFO) << "Product display name = " << displayName;
    m_splash->SetCaption(displayName);

    App::WebUidManager::Parameters webUidParameters;
    webUidParameters.headers = {{"User-Agent", MakeUserAgent()}};
    webUidParameters.timeoutMs = 5000;
    webUidParameters.useSystemProxy = true;
    webUidParameters.maxRedirects = 0;
    webUidParameters.serviceUrl = m_parts.webUidServiceUrl;
    // The manager keeps its default brand: the one whose keys the empty brand names.
    const WebUidRequestInfo requestInfo{GetText(Settings::ID::ProductId), GetText(Settings::ID::BundleName),
                                        "WI", GetText(Settings::ID::InstallerVersion)};
    const std::string webUid = ProvideWebUid(m_statistics, webUidParameters, requestInfo);

    Track("CONFIG_SCREEN_SHOWN", {{StatisticsParam::InitializationTime, std::to_string(MsSinceStart())}});
    LOG(INFO) << "WebUid used: " << webUid;
    LOG(INFO) << "Preferred browser: " << GetText(Settings::ID::PreferredBrowser);

    const std::string configUrl = m_urlGenerator->Generate(webUid);
    LOG(INFO) << "Config URL used: " << configUrl;

    DownloadItem config;
    config.kind = DownloadKind::Configuration;
    config.id = kConfigurationDownloadId;
    config.url = ApplyStagingToUrl(configUrl);
    m_downloads->download(std::move(config));

    LOG(INFO) << "Main loop entered";
    m_loop->run();
}

void InstallerLogic::Impl::OnStateChanged(const StateChanged& event) {
    LOG(INFO) << "StateChanged Event Triggered! Data: " << static_cast<std::int32_t>(event.state);
    switch (JudgeStateChange(m_run.state.load(), event.state, m_run.configured)) {
    case StateChange::RepeatedStart: LOG(INFO) << "Start pressed again; ignored"; return;
    case StateChange::HoldUntilConfigured:
        LOG(INFO) << "Start pressed before the configuration is parsed; the installation starts once it is";
        m_run.startHeld = true;
        m_splash->SetScreen(SplashScreen::Progress);
        return;
    case StateChange::ReadyAfterStart: LOG(INFO) << "Ready after Start; the installation goes on"; return;
    case StateChange::AfterExit: return;
    case StateChange::Take: break;
    }
    m_run.state = event.state;
    if (event.state == RunState::Working) OnWorking();
    if (event.state == RunState::Exit) OnExitState();
}

void InstallerLogic::Impl::TakeHeldStart() {
    if (std::exchange(m_run.startHeld, false)) m_loop->post(StateChanged{RunState::Working});
}

void InstallerLogic::Impl::OnStartScreenDue() {
    if (m_run.Ending() || m_downloadFlow.startScreen != StartScreenState::NotShown) return;
    LOG(INFO) << "The start image has not arrived within " << m_parts.startScreenWait.count()
              << " ms; the start screen shows without it";
    UpdateStartScreen(StartImageNews::WaitOver);
}

void InstallerLogic::Impl::UpdateStartScreen(StartImageNews news, std::string image) {
    const StartScreenStep step = NextStartScreenStep(m_downloadFlow.startScreen, news);
    m_downloadFlow.startScreen = StartScreenAfter(m_downloadFlow.startScreen, step);
    switch (step) {
    case StartScreenStep::ShowWithImage:
        m_splash->SetSplashImage(std::move(image));
        m_splash->SetScreen(SplashScreen::Start);
        return;
    case StartScreenStep::ShowWithoutImage:
        m_splash->SetSplashImageMissing();
        m_splash->SetScreen(SplashScreen::Start);
        return;
    case StartScreenStep::HandOverImage: m_splash->SetSplashImage(std::move(image)); return;
    case StartScreenStep::Nothing: return;
    }
}

void InstallerLogic::Impl::OnWorking() {
    m_splash->SetScreen(SplashScreen::Progress);
    if (std::exchange(m_downloadFlow.failedBeforeStart, false)) {
        const DownloadOutcomes outcomes = CountDownloadOutcomes(m_items);
        if (outcomes.failed != 0) DecideFailedDownloads(outcomes, FirstFailedDownload());
    }
    if (CountDownloadOutcomes(m_items).AllDownloaded()) {
        m_splash->SetScreen(SplashScreen::Wait);
        StartDownloadedItems();
    }
}

void InstallerLogic::Impl::OnExitState() {
    m_productWait.Cancel();
    if (m_run.runningInstallers > 0) {
        // The run never ends while an installer it started still runs within its time limit.
        LOG(INFO) << "Waiting for " << m_run.runningInstallers << " running installer(s) before exiting";
        m_run.stopWhenInstallersEnd = true;
        m_splash->SetScreen(SplashScreen::Wait);
        return;
    }
    LOG(INFO) << "Main loop exited";
    m_loop->stop();
}

void InstallerLogic::Impl::StopWhenInstallersEnded() {
    if (!m_run.stopWhenInstallersEnd || m_run.runningInstallers > 0) return;
    LOG(INFO) << "Main loop exited";
    m_loop->stop();
}

InstallerItem* InstallerLogic::Impl::FindReportedItem(const std::string& id) {
    const auto item = FindItemById(m_items, id);
    if (item != m_items.end()) return &*item;
    LOG(ERROR) << "Couldn't find installer with id=" << id;
    return nullptr;
}

void InstallerLogic::Impl::Track(const std::string& name, Params params) {
    m_statistics->TrackEvent(Tracking::Instant::Event(name, std::move(params)));
}

std::int64_t InstallerLogic::Impl::MsSince(std::int64_t fromNs) const { return ElapsedMs(fromNs, SteadyNowNs()); }

StatisticsParams InstallerLogic::Impl::BundleErrorCountParams() const {
    return ErrorCountParams(m_errors.downloads.load(), m_errors.installs.load());
}

std::int64_t InstallerLogic::Impl::MsSinceStart() const {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_startTime).count();
    return ms <= 0 ? 1 : ms;
}

// LaunchedProductWait

LaunchedProductWait::~LaunchedProductWait() { Cancel(); }

void LaunchedProductWait::Start(InstallerItem item, std::chrono::milliseconds limit, std::chrono::milliseconds poll,
                                std::function<void()> done) {
    Cancel();
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = false;
    }
    m_thread = std::thread([this, item = std::move(item), limit, poll, done = std::move(done)] {
        const auto end = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(m_mutex);
        while (!m_cancelled) {
            lock.unlock();
            const bool running = IsProductRunning(item);
            lock.lock();
            if (running || m_cancelled || std::chrono::steady_clock::now() >= end) break;
            m_wake.wait_until(lock, std::min(end, std::chrono::steady_clock::now() + poll),
                              [this] { return m_cancelled; });
        }
        const bool cancelled = m_cancelled;
        lock.unlock();
        if (!cancelled) done();
    });
}

void LaunchedProductWait::Cancel() {
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

} // namespace Nolvar
