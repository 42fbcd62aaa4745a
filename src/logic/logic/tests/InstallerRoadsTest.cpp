// Every road of a run through the installer logic, generated: one, two and three products, every order of their
// download outcomes, Install pressed before, between and after them, the answers to the retry pop-up and to the
// cancel question. Downloads, installers and the window are models driven from the test thread; each road must
// end in an installation, a pop-up or the exit, and never rest where nothing runs and nothing can be pressed.
// The window hands Skip and Cancel of the retry pop-up to the logic as one call, and No to the cancel question
// not at all: each pair is one road here.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <glog/logging.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorString/Utf.h"
#include "logic/logic/Events.h"
#include "logic/logic/IInstallerDownloads.h"
#include "logic/logic/InstallerItem.h"
#include "logic/logic/InstallerLogic.h"
#include "logic/tracker/json/IStatisticsTracker.h"
#include "splash/ISplash.h"
#include "splash/ISplashEventObserver.h"
#include "testing/TempFolder.h"
#include "utils/Settings.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;

// ---- the road ----

enum class Outcome { Succeeds, Fails, FailsThenSucceeds };
enum class Answer { TryAgain, SkipOrCancel };   // to every retry pop-up
enum class Question { NoneOrNo, Yes };          // the cancel question, asked just before Install

struct Road {
    std::vector<Outcome> outcomes;   // per product
    std::vector<int> order;          // products in the order of their first outcomes
    int installAt = 0;               // Install after this many first outcomes; -1: before the configuration
    Answer answer = Answer::TryAgain;
    Question question = Question::NoneOrNo;

    bool AllSucceed() const {
        return std::all_of(outcomes.begin(), outcomes.end(), [](Outcome o) { return o == Outcome::Succeeds; });
    }
    bool AnyFailsForGood() const { return std::count(outcomes.begin(), outcomes.end(), Outcome::Fails) != 0; }

    // What the logic can tell apart: after a Yes it hears no outcome, and after Skip or Cancel no retry, so a
    // product that fails and then succeeds is one that fails.
    std::string Seen() const {
        std::string seen = fmt::format("{} products, Install at {}, answer {}, question {}:", outcomes.size(),
                                       installAt, int(answer), int(question));
        const int heard = question == Question::Yes ? std::max(installAt, 0) : int(order.size());
        for (int step = 0; step < heard; ++step) {
            Outcome outcome = outcomes[order[step]];
            if (answer == Answer::SkipOrCancel && outcome == Outcome::FailsThenSucceeds) outcome = Outcome::Fails;
            seen += fmt::format(" p{}:{}", order[step], int(outcome));
        }
        return seen;
    }

    std::string Name() const {
        static const char* const kOutcome[] = {"S", "F", "FS"};
        static const char* const kQuestion[] = {"", ", cancel question Yes"};
        std::string text = "outcomes";
        for (std::size_t i = 0; i < outcomes.size(); ++i) text += fmt::format(" p{}:{}", i, kOutcome[int(outcomes[i])]);
        text += ", order";
        for (int p : order) text += fmt::format(" p{}", p);
        text += installAt < 0 ? ", Install before the configuration" : fmt::format(", Install after {}", installAt);
        text += answer == Answer::TryAgain ? ", Try Again" : ", Skip/Cancel";
        return text + kQuestion[int(question)];
    }
};

std::vector<Road> AllRoads() {
    std::vector<Road> roads;
    std::set<std::string> seen;
    for (int products = 1; products <= 3; ++products) {
        int combinations = 1;
        for (int i = 0; i < products; ++i) combinations *= 3;
        for (int c = 0; c < combinations; ++c) {
            Road road;
            for (int i = 0, rest = c; i < products; ++i, rest /= 3) road.outcomes.push_back(Outcome(rest % 3));
            road.order.resize(products);
            std::iota(road.order.begin(), road.order.end(), 0);
            do {
                for (int at = -1; at <= products; ++at) {
                    road.installAt = at;
                    for (Question question : {Question::NoneOrNo, Question::Yes}) {
                        road.question = question;
                        for (Answer answer : {Answer::TryAgain, Answer::SkipOrCancel}) {
                            // The answer to a pop-up matters only where one can show.
                            if (answer == Answer::SkipOrCancel && (road.AllSucceed() || question == Question::Yes))
                                continue;
                            road.answer = answer;
                            if (seen.insert(road.Seen()).second) roads.push_back(road);
                        }
                    }
                }
            } while (std::next_permutation(road.order.begin(), road.order.end()));
        }
    }
    return roads;
}

// ---- the models ----

// What the window shows; the logic calls it on its loop thread, the test reads it while the loop is idle.
class ModelWindow final : public ISplash {
public:
    enum class Popup { None, Retry, NoConnection, CloseProduct, DiskSpace, Other };

    void SetScreen(SplashScreen screen) override { Set([&] { m_screen = screen; }); }
    void SetProgress(unsigned) override {}
    void Close() override {}
    void SetSplashImage(std::string) override {}
    void SetSplashImageMissing() override {}
    void AddImage(SplashImageType, std::string) override {}
    void SetImageMissing(SplashImageType) override {}
    void SetCaption(const std::string&) override {}
    void SetCloseButtonHidden(int) override {}
    void ShowNoConnectionPopup() override { Show(Popup::NoConnection); }
    void ShowRetryPopup(const std::string&, ExitState) override { Show(Popup::Retry); }
    void ShowPlatformPopup(const std::string&) override { Show(Popup::Other); }
    void ShowAlreadyRunningPopup(const std::string&) override { Show(Popup::Other); }
    void ShowDiskSpacePopup(const std::string&, std::uint64_t, std::uint64_t) override { Show(Popup::DiskSpace); }
    void ShowCloseProductPopup(const std::string&) override { Show(Popup::CloseProduct); }

    SplashScreen Screen() const {
        std::lock_guard lock(m_mutex);
        return m_screen;
    }
    Popup OpenPopup() const {
        std::lock_guard lock(m_mutex);
        return m_popup;
    }
    // The user answers the open pop-up: it closes.
    void TakePopup() {
        std::lock_guard lock(m_mutex);
        m_popup = Popup::None;
    }
    int Shown(Popup popup) const {
        std::lock_guard lock(m_mutex);
        const auto shown = m_shown.find(popup);
        return shown == m_shown.end() ? 0 : shown->second;
    }
    bool ShowedScreen(SplashScreen screen) const {
        std::lock_guard lock(m_mutex);
        return std::find(m_screens.begin(), m_screens.end(), screen) != m_screens.end();
    }

private:
    template <class F>
    void Set(F change) {
        std::lock_guard lock(m_mutex);
        change();
        if (m_screens.empty() || m_screens.back() != m_screen) m_screens.push_back(m_screen);
    }
    void Show(Popup popup) {
        Set([&] {
            m_popup = popup;
            ++m_shown[popup];
        });
    }

    mutable std::mutex m_mutex;
    SplashScreen m_screen = SplashScreen::None;
    std::vector<SplashScreen> m_screens;
    Popup m_popup = Popup::None;
    std::map<Popup, int> m_shown;
};

// Downloads the test settles: images fail at once, the configuration and the products when the road says.
class ModelDownloads final : public IInstallerDownloads {
public:
    explicit ModelDownloads(std::shared_ptr<EventLoop> loop) : m_loop(std::move(loop)) {}

    void download(DownloadItem item) override {
        if (item.kind == DownloadKind::SplashImage) return m_loop->post(FailDownload{std::move(item)});
        std::lock_guard lock(m_mutex);
        if (item.kind == DownloadKind::Configuration)
            m_config = item;
        else
            m_products.push_back(item);
    }
    void retry(const std::string& url) override {
        std::lock_guard lock(m_mutex);
        m_retries.push_back(url);
    }

    EventLoop& Loop() { return *m_loop; }
    std::optional<DownloadItem> Config() {
        std::lock_guard lock(m_mutex);
        return m_config;
    }
    std::optional<DownloadItem> Product(const std::string& id) {
        std::lock_guard lock(m_mutex);
        for (const auto& item : m_products)
            if (item.id == id) return item;
        return std::nullopt;
    }
    // The oldest retry not yet settled.
    std::optional<std::string> NextRetry() {
        std::lock_guard lock(m_mutex);
        if (m_retries.empty()) return std::nullopt;
        return m_retries.front();
    }
    // Reports the download of `item` as finished or failed.
    void Settle(DownloadItem item, bool finished) {
        {
            std::lock_guard lock(m_mutex);
            const auto retry = std::find(m_retries.begin(), m_retries.end(), item.url);
            if (retry != m_retries.end()) m_retries.erase(retry);
        }
        item.state.total = item.state.done = 1000;
        item.state.percent = finished ? 1.0 : 0.0;
        if (!finished) item.state.downloadError = App::IRemoteResource::GeneralError;
        if (finished)
            m_loop->post(FinishDownload{std::move(item)});
        else
            m_loop->post(FailDownload{std::move(item)});
    }

private:
    std::shared_ptr<EventLoop> m_loop;
    std::mutex m_mutex;
    std::optional<DownloadItem> m_config;
    std::vector<DownloadItem> m_products;
    std::deque<std::string> m_retries;
};

// Installers that run until the test ends them, successfully.
class ModelInstallers {
public:
    class Installer final : public IInstallerExecutor {
    public:
        Installer(ModelInstallers& all, IInstallerExecutorObserver& observer, std::string name)
            : m_all(all), m_observer(observer), m_name(std::move(name)) {}
        void Start() override {
            m_observer.OnInstallerStarted(m_name);
            std::lock_guard lock(m_all.m_mutex);
            m_all.m_running.push_back(this);
        }
        ExitState GetExitState() const override { return m_exitState; }
        void WaitForEnd() override {}
        ~Installer() override {
            std::lock_guard lock(m_all.m_mutex);
            m_all.m_running.erase(std::remove(m_all.m_running.begin(), m_all.m_running.end(), this),
                                  m_all.m_running.end());
        }

    private:
        friend class ModelInstallers;
        ModelInstallers& m_all;
        IInstallerExecutorObserver& m_observer;
        std::string m_name;
        ExitState m_exitState = ExitStates::NotReported;
    };

    InstallerLogicParts::InstallerLauncher Launcher() {
        return [this](IInstallerExecutorObserver& observer, const InstallerItem& item, std::chrono::milliseconds) {
            return std::make_unique<Installer>(*this, observer, item.id);
        };
    }
    // Ends the oldest running installer with success; false when none runs.
    bool FinishOne() {
        Installer* installer = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_running.empty()) return false;
            installer = m_running.front();
            m_running.erase(m_running.begin());
        }
        installer->m_exitState = ExitStates::Success;
        installer->m_observer.OnInstallerFinished(installer->m_name, ExitStates::Success);
        return true;
    }
    bool AnyRunning() {
        std::lock_guard lock(m_mutex);
        return !m_running.empty();
    }

private:
    std::mutex m_mutex;
    std::vector<Installer*> m_running;
};

class CountingStatistics final : public IStatisticsTracker {
public:
    void Initialize(const std::string&, const std::string&, const std::string&) override {}
    void TrackEvent(Tracking::Instant::Event event) override {
        std::lock_guard lock(m_mutex);
        ++m_counts[event.name];
    }
    int Count(const std::string& name) {
        std::lock_guard lock(m_mutex);
        return m_counts[name];
    }

private:
    std::mutex m_mutex;
    std::map<std::string, int> m_counts;
};

// ---- the test ----

std::string Unique(const std::string& name) { return fmt::format("{}-road-{}", GetCurrentProcessId(), name); }
std::string ProductId(int index) { return fmt::format("p{}", index); }

class InstallerRoads : public ::testing::Test {
protected:
    static constexpr int kMaxProducts = 3;

    void SetUp() override {
        namespace S = Settings;
        S::Set(S::ID::BrandName, std::any(std::string("nolvaria")));
        S::Set(S::ID::ProductId, std::any(Unique("bundle")));
        S::Set(S::ID::ProductDisplayName, std::any(std::string("Netsetter Roads")));
        S::Set(S::ID::InstallerVersion, std::any(std::string("2.0.0")));
        S::Set(S::ID::Locale, std::any(std::string("en-US")));
        S::Set(S::ID::InstallFolder, std::any(ioPath((m_folder.path() / L"install").wstring())));
        S::Set(S::ID::ConfigUrl, std::any(std::string("http://127.0.0.1:9/config.json")));
        S::Set(S::ID::WebUid, std::any(std::string("roads-0123456789abcdef0123456789ab")));   // none is asked for
        // Every product counts as installed once its installer succeeds: an uninstall entry and its executable.
        for (int i = 0; i < kMaxProducts; ++i) {
            std::ofstream(m_folder.path() / Core::WstringFromUtf8(Unique(ProductId(i) + ".exe"))) << "MZ";
            const std::wstring key = UninstallKey(i);
            const std::wstring folder = m_folder.path().wstring();
            const std::wstring uninstaller = folder + L"\\uninstall.exe";
            RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"InstallLocation", REG_SZ, folder.c_str(),
                            DWORD((folder.size() + 1) * sizeof(wchar_t)));
            RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"UninstallString", REG_SZ, uninstaller.c_str(),
                            DWORD((uninstaller.size() + 1) * sizeof(wchar_t)));
        }
        m_logLevel = FLAGS_minloglevel;
        FLAGS_minloglevel = google::GLOG_ERROR;   // thousands of runs
    }
    void TearDown() override {
        FLAGS_minloglevel = m_logLevel;
        for (int i = 0; i < kMaxProducts; ++i) RegDeleteTreeW(HKEY_CURRENT_USER, UninstallKey(i).c_str());
    }

    static std::wstring UninstallKey(int index) {
        return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
               Core::WstringFromUtf8(Unique("entry-" + ProductId(index)));
    }

    static std::string Configuration(int products) {
        const auto value = [](const std::string& text) {
            return nlohmann::json{{"Values", nlohmann::json::array()}, {"DefaultValue", text}};
        };
        nlohmann::json installers = nlohmann::json::array();
        for (int i = 0; i < products; ++i) {
            const std::string id = ProductId(i);
            installers.push_back({{"id", value(id)},
                                  {"url", value("http://127.0.0.1:9/" + id + ".exe")},
                                  {"display_name", value("Product " + id)},
                                  {"install_order", value(std::to_string(i))},
                                  {"install_args", value("/S")},
                                  {"check_app_running", value("false")},
                                  {"search_installed_win_exe_name", value(Unique(id + ".exe"))},
                                  {"search_installed_win_uninstall_registry_key_name", value(Unique("entry-" + id))}});
        }
        const std::string image = "http://127.0.0.1:9/image.png";
        return nlohmann::json{
            {"configname", "roads"},
            {"data",
             {{"Product", {{"version", value("3.0.0")}}},
              {"Installers", installers},
              {"Splash", {{"start", value(image)}, {"progress", value(image)}, {"wait", value(image)}, {"ready", value(image)}}},
              {"Statistics", {{"url", value("http://127.0.0.1:9/statistics")}, {"id", value("K-roads")},
                              {"targetApplicationId", value(Unique("statistics"))}}}}}}
            .dump();
    }

    Testing::TempFolder m_folder{L"netsetter-roads-"};
    int m_logLevel = 0;
};

// One road through a real logic: its parts, the road's own steps, then the answers it leads to, then its ending.
class RoadDriver {
public:
    RoadDriver(const Road& road, std::string config) : m_road(road), m_config(std::move(config)) {
        m_logic = std::make_unique<InstallerLogic>(Parts());
        m_ended = std::async(std::launch::async, [this] { return m_logic->Run(); });
    }
    ~RoadDriver() {
        if (m_ended.valid()) m_ended.wait();
    }

    // The configuration, the first outcomes in the road's order, Install where it falls.
    void PlayRoad() {
        Settle();
        if (m_road.installAt < 0) PressInstall();
        Settle();
        const auto config = m_downloads->Config();
        ASSERT_TRUE(config) << "the configuration was never asked for";
        m_downloads->Settle(*config, true);
        for (int step = 0; step <= int(m_road.order.size()) && !Stopped(); ++step) {
            Settle();
            if (step == m_road.installAt) PressInstall();
            Settle();
            if (Stopped()) break;   // the user left: later outcomes reach no one
            if (step < int(m_road.order.size())) SettleProduct(m_road.order[step]);
        }
    }

    // The user and the world answer what the road leads to until the run ends; a road resting with nothing
    // running, no pop-up and the run not ended fails.
    void AnswerUntilTheEnd() {
        int steps = 0;
        for (; steps < kMaxAnswers && !Stopped(); ++steps) {
            Settle();
            if (Stopped() || AnswerPopup()) continue;
            if (const auto url = m_downloads->NextRetry()) {
                for (int i = 0; i < int(m_road.outcomes.size()); ++i)
                    if (m_downloads->Product(ProductId(i))->url == *url) SettleProduct(i);
                continue;
            }
            if (m_installers.FinishOne()) continue;
            ADD_FAILURE() << "the road rests on screen " << int(m_window->Screen())
                          << " with nothing running, no pop-up and the run not ended";
            break;
        }
        if (!Stopped()) ForceTheEnd(steps);
        EXPECT_FALSE(m_ended.get()) << "the run ended by an exception";
    }

    // How the road ended: installed, cancelled, or given up after three offers to try again.
    void ExpectItsEnding() {
        const int installed = m_statistics->Count("BUNDLE_INSTALL_FINISHED");
        const int retryPopups = m_window->Shown(ModelWindow::Popup::Retry);
        const int noConnection = m_window->Shown(ModelWindow::Popup::NoConnection);
        if (m_road.question == Question::Yes) {
            EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
            EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 0);
            EXPECT_EQ(retryPopups + noConnection, 0);
        } else if (m_road.AllSucceed()) {
            EXPECT_EQ(installed, 1);
            EXPECT_EQ(retryPopups + noConnection, 0);
        } else if (m_road.answer == Answer::SkipOrCancel) {
            EXPECT_EQ(retryPopups, 1);
            EXPECT_TRUE(m_window->ShowedScreen(SplashScreen::Cancel));
            EXPECT_EQ(installed, 0);
        } else if (m_road.AnyFailsForGood()) {
            // Three offers to try again, then the no-connection pop-up, whose answer ends the run.
            EXPECT_EQ(retryPopups, 3);
            EXPECT_EQ(noConnection, 1);
            EXPECT_EQ(installed, 0);
        } else {
            // One Try Again brings every failed product and installs them all.
            EXPECT_EQ(retryPopups, 1);
            EXPECT_EQ(installed, 1);
            EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FINISHED"), int(m_road.outcomes.size()));
        }
    }

private:
    static constexpr int kMaxAnswers = 40;

    InstallerLogicParts Parts() {
        InstallerLogicParts parts;
        parts.attachSplash = [this](ISplashEventObserver& observer) {
            m_user = &observer;
            auto window = std::make_unique<ModelWindow>();
            m_window = window.get();
            return window;
        };
        parts.makeDownloads = [this](std::shared_ptr<EventLoop> loop) {
            m_downloads = std::make_shared<ModelDownloads>(std::move(loop));
            return m_downloads;
        };
        parts.launchInstaller = m_installers.Launcher();
        parts.statistics = m_statistics;
        parts.webUidServiceUrl = "http://127.0.0.1:9/webuid";
        parts.freeDiskSpace = [](const ioPath&) { return std::uint64_t(1) << 40; };
        parts.configSource = [config = m_config](const ioPath&) -> std::shared_ptr<IConfigDataProvider> {
            struct Provider : IConfigDataProvider {
                std::string text;
                std::string GetConfig() const override { return text; }
                std::string GetDefaultConfig() const override { return text; }
            };
            auto provider = std::make_shared<Provider>();
            provider->text = config;
            return provider;
        };
        return parts;
    }

    void Settle() { ASSERT_TRUE(m_downloads->Loop().waitUntilIdle(10s)) << "the logic is still busy after 10 s"; }
    bool Stopped() { return m_downloads->Loop().stopped(); }

    void PressInstall() {
        // The close button asks first: Yes leaves, No goes back to where the user was.
        if (m_road.question == Question::Yes) return m_user->OnExit(int(m_window->Screen()), "USER");
        m_user->OnStartPressed();
    }

    void SettleProduct(int index) {
        const auto item = m_downloads->Product(ProductId(index));
        ASSERT_TRUE(item) << "p" << index << " was never registered";
        const Outcome outcome = m_road.outcomes[index];
        const bool finished = outcome == Outcome::Succeeds || (outcome == Outcome::FailsThenSucceeds && m_failed.count(index));
        if (!finished) m_failed.insert(index);
        m_downloads->Settle(*item, finished);
    }

    // False when no pop-up is open.
    bool AnswerPopup() {
        switch (m_window->OpenPopup()) {
        case ModelWindow::Popup::None: return false;
        case ModelWindow::Popup::Retry:
            m_window->TakePopup();
            if (m_road.answer == Answer::TryAgain)
                m_user->OnRetryPressed();
            else
                m_user->OnRetryCancelled();
            return true;
        case ModelWindow::Popup::NoConnection:
        case ModelWindow::Popup::Other:
            // Information pop-ups end the run with their text, and the window closes.
            m_window->TakePopup();
            m_user->OnExit(int(m_window->Screen()), "information pop-up");
            return true;
        case ModelWindow::Popup::CloseProduct:
        case ModelWindow::Popup::DiskSpace:
            m_window->TakePopup();
            m_user->OnRetryPressed();
            return true;
        }
        return false;
    }

    void ForceTheEnd(int answers) {
        ADD_FAILURE() << "the run did not end after " << answers << " answers";
        m_user->OnExit(0, "test");
        while (m_installers.FinishOne()) {}
        if (m_ended.wait_for(10s) == std::future_status::ready) return;
        ADD_FAILURE() << "the run does not end even on exit";
        std::fflush(nullptr);
        TerminateProcess(GetCurrentProcess(), 3);
    }

    const Road& m_road;
    const std::string m_config;
    ModelWindow* m_window = nullptr;   // owned by the logic
    ISplashEventObserver* m_user = nullptr;
    std::shared_ptr<ModelDownloads> m_downloads;
    ModelInstallers m_installers;
    std::shared_ptr<CountingStatistics> m_statistics = std::make_shared<CountingStatistics>();
    std::set<int> m_failed;   // products whose download has failed once
    std::unique_ptr<InstallerLogic> m_logic;
    std::future<bool> m_ended;
};

TEST_F(InstallerRoads, EveryRoadEndsInAnInstallationAPopUpOrTheExit) {
    const std::vector<Road> roads = AllRoads();
    const auto start = std::chrono::steady_clock::now();
    int failedRoads = 0;
    const auto failures = [] { return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count(); };
    for (const Road& road : roads) {
        const int before = failures();
        SCOPED_TRACE(road.Name());
        RoadDriver driver(road, Configuration(int(road.outcomes.size())));
        driver.PlayRoad();
        driver.AnswerUntilTheEnd();
        driver.ExpectItsEnding();
        if (failures() != before && ++failedRoads >= 5) break;   // a few failed roads tell enough
    }
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu roads in %.1f s\n", roads.size(), seconds);
}

} // namespace
