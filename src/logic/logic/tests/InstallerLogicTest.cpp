// Whole runs of the installer logic, driven through the scripted splash.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <set>

#include <gmock/gmock.h>

#include "QorOS/AppMutexLocker.h"
#include "logic/logic/InstallerLogicImpl.h"
#include "logic/logic/tests/LogicTestSupport.h"
#include "testing/ChildProcess.h"
#include "utils/AppSearcher.h"

using namespace LogicTest;
using Nolvar::ISplashEventObserver;
using ::testing::ElementsAre;

namespace {

std::string Param(const Event& event, const std::string& key) {
    const auto it = event.params.find(key);
    return it == event.params.end() ? "<absent>" : it->second;
}

// The events stored on disk by the tracking library for this test's statistics product.
std::vector<nlohmann::json> StoredEvents() {
    std::vector<nlohmann::json> events;
    const auto folder = Nolvar::Core::GetSystemCacheRoot() / "Nolvaria" / Unique("statistics") / "EventsStorage";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder.wstring()), error)) {
        if (entry.path().extension() != L".json") continue;
        const auto event = nlohmann::json::parse(ReadFile(entry.path()), nullptr, false);
        if (event.is_object()) events.push_back(event);
    }
    return events;
}

void PressRetry(ISplashEventObserver& o) { o.OnRetryPressed(); }

// Product installers of this run that ended by themselves: each wrote its ".done" file, which a killed one never does.
int FinishedInstallers() {
    std::error_code error;
    int finished = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(Nolvar::GetWorkingFolder().wstring()), error))
        if (entry.path().extension() == L".done") ++finished;
    return finished;
}

} // namespace

TEST_F(LogicRun, OneProductIsDownloadedInstalledAndReportedStepByStep) {
    Serve(Config({{"alpha", 0, "/FAKE_EXIT=0"}}));
    // A double click on the install button.
    m_script->When("SetScreen 1", [](ISplashEventObserver& o) {
        o.OnStartPressed();
        o.OnStartPressed();
    }, 1);
    EXPECT_FALSE(RunLogic(Parts()));
    EXPECT_EQ(m_statistics->Count("BUNDLE_EULA_ACCEPTED"), 1);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 1);

    const std::vector<std::string> road = {
        "CONFIG_SCREEN_SHOWN",      "CONFIG_DOWNLOAD_STARTED",   "CONFIG_DOWNLOAD_COMPLETED",
        "WI_CONFIG_FILE_UPDATED",   "BUNDLE_INSTALL_STARTED",    "START_SCREEN_SHOWN",
        "BUNDLE_EULA_ACCEPTED",     "PRODUCT_INSTALL_STARTED",   "PRODUCT_INSTALL_FINISHED",
        "BUNDLE_INSTALL_FINISHED"};
    EXPECT_EQ(m_statistics->Order(road), road) << CallsText();
    // Downloads run alongside the start screen; each is reported once, before its product is launched.
    const auto downloads = m_statistics->Order({"BUNDLE_DOWNLOAD_STARTED", "PRODUCT_DOWNLOAD_STARTED",
                                                "PRODUCT_DOWNLOAD_FINISHED", "BUNDLE_DOWNLOAD_FINISHED",
                                                "PRODUCT_INSTALL_STARTED"});
    EXPECT_THAT(downloads, ElementsAre("BUNDLE_DOWNLOAD_STARTED", "PRODUCT_DOWNLOAD_STARTED", "PRODUCT_DOWNLOAD_FINISHED",
                                       "BUNDLE_DOWNLOAD_FINISHED", "PRODUCT_INSTALL_STARTED"));

    const auto finished = m_statistics->Named("PRODUCT_DOWNLOAD_FINISHED").at(0);
    EXPECT_EQ(Param(finished, "PRODUCT_NAME"), "alpha");
    EXPECT_EQ(Param(finished, "TOTAL_SIZE"), std::to_string(m_fakeInstaller.size()));
    EXPECT_EQ(Param(finished, "ERROR_COUNT"), "0");
    EXPECT_GT(std::stoll(Param(finished, "TIME_ELAPSED")), 0);
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_FINISHED").at(0), "INSTALL_ERROR_COUNT"), "0");
    EXPECT_EQ(Param(m_statistics->Named("PRODUCT_INSTALL_STARTED").at(0), "PRODUCT_NAME"), "alpha");
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 0);

    // Screens and images: the start image is on the start screen; every other image downloaded is added to its
    // screen; the progress and wait screens are reported once each.
    const auto startShown = m_statistics->Named("START_SCREEN_SHOWN");
    ASSERT_EQ(startShown.size(), 1u);
    EXPECT_EQ(Param(startShown[0], "DISPLAY_IMAGE"), "YES");
    EXPECT_GT(std::stoll(Param(startShown[0], "INITIALIZATION_TIME")), 0);
    EXPECT_EQ(m_statistics->Count("DOWNLOAD_SCREEN_SHOWN"), 1);
    EXPECT_EQ(m_statistics->Count("INSTALL_SCREEN_SHOWN"), 1);
    EXPECT_EQ(m_statistics->Count("IMAGE_DOWNLOAD_FAILED"), 0);
    std::multiset<std::string> imagesCompleted, imagesAdded;
    for (const auto& e : m_statistics->Named("IMAGE_DOWNLOAD_COMPLETED")) {
        if (Param(e, "IMAGE_TYPE") == "START")
            EXPECT_EQ(Param(e, "TOTAL_SIZE"), std::to_string(Png().size()));
        else
            imagesCompleted.insert(Param(e, "IMAGE_TYPE"));
    }
    for (const auto& e : m_statistics->Named("SCREEN_IMAGE_ADDED")) imagesAdded.insert(Param(e, "IMAGE_TYPE"));
    EXPECT_EQ(imagesAdded, imagesCompleted);
    const auto imageStarts = m_statistics->Named("IMAGE_DOWNLOAD_STARTED");
    const auto startImage = std::find_if(imageStarts.begin(), imageStarts.end(),
                                         [](const Event& e) { return Param(e, "IMAGE_TYPE") == "START"; });
    ASSERT_NE(startImage, imageStarts.end());
    EXPECT_EQ(Param(*startImage, "IMAGE_LINK"), m_server.httpUrl("/files/" + Unique("start.png")));
    const auto started = m_statistics->Named("BUNDLE_INSTALL_STARTED").at(0);
    EXPECT_EQ(Param(started, "PREFERRED_BROWSER"), "UNDEFINED");

    // The window: caption, progress screen, wait screen, full progress, close button hidden, closed last.
    const auto calls = m_script->Calls();
    EXPECT_EQ(calls.front(), "SetCaption Netsetter Test");
    EXPECT_EQ(calls.back(), "Close");
    EXPECT_EQ(m_script->Count("SetScreen 4"), 1);
    EXPECT_EQ(m_script->Count("SetScreen 5"), 1);
    EXPECT_GE(m_script->Count("SetProgress 100"), 1);
    EXPECT_EQ(m_script->Count("SetCloseButtonHidden 1"), 1);
    EXPECT_EQ(m_script->Count("Show"), 0) << CallsText();
    for (const auto& call : calls) {
        if (call.rfind("SetProgress ", 0) != 0) continue;
        EXPECT_LE(std::stoi(call.substr(12)), 100) << call;
    }

    // The real statistics library stored the events with the common parameters.
    m_statistics->Release();
    const auto stored = StoredEvents();
    const auto bundleFinished = std::find_if(stored.begin(), stored.end(),
                                             [](const auto& e) { return e.value("name", "") == "BUNDLE_INSTALL_FINISHED"; });
    ASSERT_NE(bundleFinished, stored.end()) << stored.size() << " events stored";
    EXPECT_EQ((*bundleFinished)["params"].value("WI_CONFIG_NAME", ""), "logic-test");
    EXPECT_EQ((*bundleFinished)["params"].value("BUNDLE_ID", ""), Unique("product"));
    EXPECT_EQ((*bundleFinished)["params"].value("PRODUCT_VERSION", ""), "3.0.0");
}

TEST_F(LogicRun, TwoProductsStartInInstallOrderAndRunSideBySide) {
    // Listed second, installed first; each runs long enough for the other to start meanwhile.
    Serve(Config({{"later", 2, "/FAKE_SLEEP=3000"}, {"first", 1, "/FAKE_SLEEP=3000"}}));
    PressStartOnStartScreen();
    EXPECT_FALSE(RunLogic(Parts()));

    std::vector<std::string> launches;
    for (const auto& e : m_statistics->Named("PRODUCT_INSTALL_STARTED")) launches.push_back(Param(e, "PRODUCT_NAME"));
    EXPECT_THAT(launches, ElementsAre("first", "later"));
    // Both were launched before either finished.
    const auto order = m_statistics->Order({"PRODUCT_INSTALL_STARTED", "PRODUCT_INSTALL_FINISHED"});
    EXPECT_THAT(order, ElementsAre("PRODUCT_INSTALL_STARTED", "PRODUCT_INSTALL_STARTED", "PRODUCT_INSTALL_FINISHED",
                                   "PRODUCT_INSTALL_FINISHED"));
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 0);
}

TEST_F(LogicRun, AFailingImageUrlSharedByTwoScreensIsReportedOnceForTheScreenThatAskedFirst) {
    auto config = Config({{"alpha", 0, "/FAKE_EXIT=0"}});
    const std::string missing = m_server.httpUrl("/files/" + Unique("missing.png"));
    config["data"]["Splash"]["start"] = Value(missing);
    config["data"]["Splash"]["ready"] = Value(missing);
    Serve(config);
    PressStartOnStartScreen();
    EXPECT_FALSE(RunLogic(Parts()));
    const auto failed = m_statistics->Named("IMAGE_DOWNLOAD_FAILED");
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(Param(failed[0], "IMAGE_TYPE"), "START");
    EXPECT_EQ(m_script->Count("SetSplashImageMissing"), 1);
    EXPECT_EQ(m_script->Count("SetImageMissing"), 0) << CallsText();
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
}

// Timing a hundredth of the shipped one, as the retry waits of Parts(): the start screen waits 100 ms for its image.
TEST_F(LogicRun, ASlowStartImageShowsTheStartScreenWithoutItAndAnEarlyStartWaitsForTheConfiguration) {
    auto config = Config({{"alpha", 0, "/FAKE_EXIT=0 /FAKE_SLEEP=2000"}});
    config["data"]["Splash"]["start"] = Value(m_server.httpUrl("/files/" + Unique("start.png") + "?delay=500"));
    Serve(config);
    Nolvar::Settings::Set(Nolvar::Settings::ID::ConfigUrl,
                          std::any(m_server.httpUrl("/files/" + Unique("config.json") + "?delay=400")));
    PressStartOnStartScreen();
    auto parts = Parts();
    parts.startScreenWait = 100ms;
    EXPECT_FALSE(RunLogic(std::move(parts)));

    const auto calls = m_script->Calls();
    const auto at = [&](const std::string& prefix) {
        return std::find_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.starts_with(prefix); }) -
               calls.begin();
    };
    // The start screen shows without its image, Start moves on to the progress screen at once, and the image
    // arriving later is handed over without bringing the start screen back.
    EXPECT_LT(at("SetSplashImageMissing"), at("SetScreen 1")) << CallsText();
    EXPECT_LT(at("SetScreen 1"), at("SetScreen 4")) << CallsText();
    EXPECT_LT(at("SetScreen 4"), at("SetSplashImage 300")) << CallsText();
    EXPECT_LT(at("SetSplashImage 300"), static_cast<std::ptrdiff_t>(calls.size())) << CallsText();
    EXPECT_EQ(m_script->Count("SetScreen 1"), 1) << CallsText();
    // The installation waited for the configuration, then ran as usual.
    const std::vector<std::string> road = {"BUNDLE_EULA_ACCEPTED", "CONFIG_DOWNLOAD_COMPLETED", "BUNDLE_INSTALL_STARTED",
                                           "PRODUCT_INSTALL_STARTED", "BUNDLE_INSTALL_FINISHED"};
    EXPECT_EQ(m_statistics->Order(road), road);
    EXPECT_EQ(Param(m_statistics->Named("START_SCREEN_SHOWN").at(0), "DISPLAY_IMAGE"), "NO");
}

TEST_F(LogicRun, InitializationTimeLeavesOutTheBuildingOfTheWindow) {
    constexpr auto kWindowTime = 800ms;
    Serve(Config({{"alpha", 0, "/FAKE_EXIT=0"}}));
    PressStartOnStartScreen();
    auto parts = Parts();
    parts.attachSplash = [make = parts.attachSplash, kWindowTime](ISplashEventObserver& observer) {
        std::this_thread::sleep_for(kWindowTime);  // a window that is slow to come up
        return make(observer);
    };
    EXPECT_FALSE(RunLogic(std::move(parts)));
    const auto shown = m_statistics->Named("CONFIG_SCREEN_SHOWN");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_LT(std::stoll(Param(shown[0], "INITIALIZATION_TIME")), kWindowTime.count());
}

TEST_F(LogicRun, UnreachableConfigurationServerFallsBackToTheBuiltInConfiguration) {
    m_builtIn = Config({{"builtin", 0, "/FAKE_EXIT=0"}}, "built-in");
    Nolvar::Settings::Set(Nolvar::Settings::ID::ConfigUrl, std::any(std::string("http://127.0.0.1:9/config.json")));
    PressStartOnStartScreen();
    EXPECT_FALSE(RunLogic(Parts()));

    ASSERT_EQ(m_statistics->Count("CONFIG_DOWNLOAD_FAILED"), 1);
    EXPECT_NE(Param(m_statistics->Named("CONFIG_DOWNLOAD_FAILED")[0], "DOWNLOAD_ERROR"), "<absent>");
    EXPECT_EQ(m_statistics->Count("CONFIG_DOWNLOAD_COMPLETED"), 0);
    EXPECT_EQ(Param(m_statistics->Named("PRODUCT_INSTALL_STARTED").at(0), "PRODUCT_NAME"), "builtin");
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
    EXPECT_EQ(m_script->Count("ShowNoConnectionPopup"), 0);
}

TEST_F(LogicRun, AConfigurationValueOfTheWrongTypeFallsBackToTheBuiltInConfiguration) {
    m_builtIn = Config({{"builtin", 0, "/FAKE_EXIT=0"}}, "built-in");
    auto config = Config({{"served", 0, "/FAKE_EXIT=0"}});
    config["data"]["Installers"][0]["install_order"]["DefaultValue"] = 3;   // a number, not text
    Serve(config);
    PressStartOnStartScreen();
    EXPECT_FALSE(RunLogic(Parts(), 90s));

    EXPECT_EQ(m_statistics->Count("CONFIG_DOWNLOAD_COMPLETED"), 1);
    ASSERT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 1);
    EXPECT_EQ(Param(m_statistics->Named("PRODUCT_INSTALL_STARTED")[0], "PRODUCT_NAME"), "builtin");
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
}

TEST_F(LogicRun, AProductFileFailingTheContentCheckIsOfferedThreeTimesThenNoConnectionThenCancel) {
    Serve(Config({{"broken", 0, "", true, "ZM this is no installer"}}));
    PressStartOnStartScreen();
    m_script->When("ShowRetryPopup", PressRetry);
    m_script->When("ShowNoConnectionPopup", [](ISplashEventObserver& o) { o.OnExit(4, "No connection pop-up closed"); });
    EXPECT_FALSE(RunLogic(Parts()));

    EXPECT_EQ(m_script->Count("ShowRetryPopup Product broken -1"), 3) << CallsText();
    EXPECT_EQ(m_script->Count("ShowNoConnectionPopup"), 1);
    EXPECT_EQ(m_statistics->Count("PRODUCT_DOWNLOAD_ERROR"), 4);
    EXPECT_EQ(m_statistics->Count("NO_CONNECTION_POPUP_SHOWN"), 1);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 0);
    ASSERT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
    const auto cancelled = m_statistics->Named("BUNDLE_INSTALL_CANCELLED")[0];
    EXPECT_EQ(Param(cancelled, "DOWNLOAD_ERROR_COUNT"), "4");
    EXPECT_EQ(Param(cancelled, "SCREEN"), "PROGRESS");
}

TEST_F(LogicRun, AProductFailingWhileAnotherDownloadsIsOfferedOnceThatEndsAndTryAgainInstallsBoth) {
    // "absent" answers 404 until the user tries again; "slow" takes about two seconds; Install comes meanwhile.
    auto config = Config({{"absent", 0, "/FAKE_EXIT=0"}, {"slow", 1, "/FAKE_EXIT=0"}});
    const std::string late = Unique("absent-late.exe");
    config["data"]["Installers"][0]["url"] = Value(m_server.httpUrl("/files/" + late));
    config["data"]["Installers"][1]["url"] = Value(m_server.httpUrl("/files/" + Unique("slow.exe") + "?rate=600000"));
    Serve(config);
    PressStartOnStartScreen();
    int finishedAtPopup = -1;
    m_script->When("ShowRetryPopup", [&](ISplashEventObserver& o) {
        finishedAtPopup = m_statistics->Count("PRODUCT_DOWNLOAD_FINISHED");
        m_server.putFile(late, m_fakeInstaller);
        o.OnRetryPressed();
    });
    EXPECT_FALSE(RunLogic(Parts()));

    EXPECT_EQ(m_script->Count("ShowRetryPopup Product absent"), 1) << CallsText();
    EXPECT_EQ(finishedAtPopup, 1) << "the pop-up waits for the running download, and only for it";
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FINISHED"), 2);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
}

// At the product's download constants, by hand: a 404 product beside a 3 MB one at 100 KB/s, Install pressed while
// the second downloads and after it has arrived; prints the seconds from Install to the retry pop-up.
class LogicRunAtTheProductsTiming : public LogicRun, public ::testing::WithParamInterface<bool> {};

TEST_P(LogicRunAtTheProductsTiming, DISABLED_AFailedProductBesideASlowOne) {
    const bool installWhileDownloading = GetParam();
    auto config = Config({{"absent", 0, "/FAKE_EXIT=0"}, {"large", 1, "/FAKE_EXIT=0"}});
    const std::string late = Unique(installWhileDownloading ? "absent-late-1.exe" : "absent-late-2.exe");
    config["data"]["Installers"][0]["url"] = Value(m_server.httpUrl("/files/" + late));
    std::string large = m_fakeInstaller;
    large.resize(3 * 1024 * 1024, '\0');
    m_server.putFile(Unique("large.exe"), large);
    config["data"]["Installers"][1]["url"] = Value(m_server.httpUrl("/files/" + Unique("large.exe") + "?rate=102400"));
    Serve(config);
    std::atomic<std::int64_t> installAt{0};
    const auto pressInstall = [&](ISplashEventObserver& o) {
        installAt = Nolvar::SteadyNowNs();
        o.OnStartPressed();
    };
    std::atomic<ISplashEventObserver*> user{nullptr};
    m_script->When("SetScreen 1", [&](ISplashEventObserver& o) {
        user = &o;
        if (installWhileDownloading) pressInstall(o);
    }, 1);
    std::thread laterInstall([&] {
        if (installWhileDownloading || !m_statistics->WaitFor("PRODUCT_DOWNLOAD_FINISHED", 200s)) return;
        while (!user.load()) std::this_thread::sleep_for(10ms);
        pressInstall(*user.load());
    });
    double popupAfter = -1;
    m_script->When("ShowRetryPopup", [&](ISplashEventObserver& o) {
        popupAfter = double(Nolvar::SteadyNowNs() - installAt.load()) / 1e9;
        m_server.putFile(late, m_fakeInstaller);
        o.OnRetryPressed();
    });
    auto parts = Parts();
    parts.downloads = {};
    EXPECT_FALSE(RunLogic(std::move(parts), 300s));
    laterInstall.join();
    std::printf("Install %s: retry pop-up %.1f s after Install; products installed: %d\n",
                installWhileDownloading ? "while the large product downloads" : "after it arrived", popupAfter,
                m_statistics->Count("PRODUCT_INSTALL_FINISHED"));
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FINISHED"), 2);
}

INSTANTIATE_TEST_SUITE_P(InstallTiming, LogicRunAtTheProductsTiming, ::testing::Bool());

TEST_F(LogicRun, CancellingTheRetryPopUpShowsTheCancelScreenAndEndsTheRun) {
    Serve(Config({{"broken", 0, "", true, "ZM this is no installer"}}));
    PressStartOnStartScreen();
    m_script->When("ShowRetryPopup", [](ISplashEventObserver& o) { o.OnRetryCancelled(); });
    EXPECT_FALSE(RunLogic(Parts()));

    EXPECT_EQ(m_script->Count("ShowRetryPopup Product broken -1"), 1) << CallsText();
    EXPECT_EQ(m_script->Count("SetScreen 7"), 1);
    EXPECT_EQ(m_statistics->Count("PRODUCT_DOWNLOAD_ERROR"), 1);
    ASSERT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
    const auto cancelled = m_statistics->Named("BUNDLE_INSTALL_CANCELLED")[0];
    EXPECT_EQ(Param(cancelled, "SCREEN"), "CANCEL");
    EXPECT_EQ(Param(cancelled, "ERROR_REASON"), "Retry dialog cancelled!");
    EXPECT_EQ(m_script->Calls().back(), "Close");
}

TEST_F(LogicRun, AFailingInstallerIsRetriedOnceThenOfferedThreeTimesThenGivenUpWithExitCodeZero) {
    Serve(Config({{"failing", 0, "/FAKE_EXIT=6", false}}));
    PressStartOnStartScreen();
    m_script->When("ShowRetryPopup", PressRetry);
    EXPECT_FALSE(RunLogic(Parts()));

    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 5);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 5);
    EXPECT_EQ(Param(m_statistics->Named("PRODUCT_INSTALL_FAILED")[0], "EXIT_STATE"), "INSTALLER_ERROR");
    EXPECT_EQ(m_script->Count("ShowRetryPopup Product failing 6"), 3) << CallsText();
    ASSERT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
    const auto cancelled = m_statistics->Named("BUNDLE_INSTALL_CANCELLED")[0];
    EXPECT_EQ(Param(cancelled, "ERROR_REASON"), "RetryInstall failed after four tries");
    EXPECT_EQ(Param(cancelled, "SCREEN"), "WAIT");
    EXPECT_EQ(Param(cancelled, "INSTALL_ERROR_COUNT"), "5");
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 0);
}

TEST_F(LogicRun, AnInstallerThatSucceedsWithoutInstallingTakesTheFailureRoadAndEnds) {
    Serve(Config({{"ghost", 0, "/FAKE_EXIT=0", false}}));
    PressStartOnStartScreen();
    m_script->When("ShowRetryPopup", PressRetry);
    EXPECT_FALSE(RunLogic(Parts()));

    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 5);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 5);
    EXPECT_EQ(Param(m_statistics->Named("PRODUCT_INSTALL_FAILED")[0], "EXIT_STATE"), "<absent>");
    // The pop-up names no installer error: the window shows its "Something went wrong" text.
    EXPECT_EQ(m_script->Count("ShowRetryPopup Product ghost -1"), 3) << CallsText();
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_CANCELLED").at(0), "ERROR_REASON"),
              "RetryInstall failed after four tries");
}

TEST_F(LogicRun, AProductRunningOnReinstallIsClosedByTheUserAndTheInstallationSucceeds) {
    Serve(Config({{"busy", 0, "/FAKE_EXIT_FIRST=4 /FAKE_EXIT=0"}}));
    PressStartOnStartScreen();
    m_script->When("ShowCloseProductPopup", PressRetry);
    EXPECT_FALSE(RunLogic(Parts()));

    EXPECT_EQ(m_script->Count("ShowCloseProductPopup Product busy"), 1) << CallsText();
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 2);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 0);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
}

TEST_F(LogicRun, CancelOnTheStartScreenEndsTheRunWithoutInstalling) {
    Serve(Config({{"alpha", 0, "/FAKE_EXIT=0"}}));
    m_script->When("SetScreen 1", [](ISplashEventObserver& o) { o.OnExit(1, "Close button pressed"); }, 1);
    EXPECT_FALSE(RunLogic(Parts()));

    ASSERT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_CANCELLED")[0], "SCREEN"), "START");
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_CANCELLED")[0], "ERROR_REASON"), "Close button pressed");
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 0);
    EXPECT_EQ(m_script->Calls().back(), "Close");
}

TEST_F(LogicRun, ASecondInstallerOfTheSameBundleClosesItself) {
    // Another installer of the bundle holds the single-instance mutex.
    std::promise<void> held, release;
    std::thread other([&] {
        Nolvar::Util::AppMutexLocker locker("nolvaria" + Unique("product"));
        locker.acquire(0);
        held.set_value();
        release.get_future().wait();
        locker.release();
    });
    held.get_future().wait();
    Serve(Config({{"alpha", 0, "/FAKE_EXIT=0"}}));
    const bool failed = RunLogic(Parts());
    release.set_value();
    other.join();

    EXPECT_FALSE(failed);
    EXPECT_THAT(m_statistics->Order({"BUNDLE_INSTALL_STARTED", "BUNDLE_INSTALL_REPEATED_DETECTED",
                                     "BUNDLE_INSTALL_CANCELLED"}),
                ElementsAre("BUNDLE_INSTALL_STARTED", "BUNDLE_INSTALL_REPEATED_DETECTED", "BUNDLE_INSTALL_CANCELLED"));
    const auto cancelled = m_statistics->Named("BUNDLE_INSTALL_CANCELLED").at(0);
    EXPECT_EQ(Param(cancelled, "SCREEN"), "");
    EXPECT_EQ(Param(cancelled, "ERROR_REASON"),
              "Self-closing another WI: installer for bundle Netsetter Test already running.");
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 0);
}

TEST_F(LogicRun, TooLittleDiskSpaceStopsTheLaunchUntilTheUserTriesAgainWithSpace) {
    Serve(Config({{"alpha", 0, "/FAKE_EXIT=0"}}));
    PressStartOnStartScreen();
    auto space = std::make_shared<std::atomic<std::uint64_t>>(1000);
    m_script->When("ShowDiskSpacePopup", [space](ISplashEventObserver& o) {
        *space = 1ull << 40;   // the user frees space and tries again
        o.OnRetryPressed();
    });
    auto parts = Parts();
    parts.freeDiskSpace = [space](const Nolvar::ioPath&) { return space->load(); };
    EXPECT_FALSE(RunLogic(std::move(parts)));

    const std::string required = std::to_string(5 * m_fakeInstaller.size());
    ASSERT_EQ(m_statistics->Count("NOT_ENOUGH_DISK_SPACE"), 1) << CallsText();
    EXPECT_EQ(Param(m_statistics->Named("NOT_ENOUGH_DISK_SPACE")[0], "REQUIRED_BYTES"), required);
    EXPECT_EQ(Param(m_statistics->Named("NOT_ENOUGH_DISK_SPACE")[0], "AVAILABLE_BYTES"), "1000");
    EXPECT_EQ(m_script->Count("ShowDiskSpacePopup " + required + " 1000 "), 1);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 1);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
}

TEST_F(LogicRun, AnExceptionInAHandlerClosesTheSplashAndEndsTheRunAsFailed) {
    Serve(Config({{"alpha", 0, "/FAKE_EXIT=0"}}));
    PressStartOnStartScreen();
    m_script->ThrowOn("SetScreen 4");
    EXPECT_TRUE(RunLogic(Parts()));
    EXPECT_EQ(m_script->Calls().back(), "Close");
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 0);
}

TEST_F(LogicRun, ACancelWhileAnInstallerRunsWaitsForItAndIsActedOnOnce) {
    Serve(Config({{"slow", 0, "/FAKE_SLEEP=4000"}}));
    PressStartOnStartScreen();
    m_script->When("SetCloseButtonHidden 1", [](ISplashEventObserver& o) {
        o.OnExit(5, "Closed while installing");
        o.OnExit(5, "Closed again");
    }, 1);
    EXPECT_FALSE(RunLogic(Parts()));

    ASSERT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_CANCELLED")[0], "ERROR_REASON"), "Closed while installing");
    // The installer was left to finish.
    EXPECT_EQ(FinishedInstallers(), 1);
    EXPECT_GE(m_script->Count("SetScreen 5"), 1);
}

TEST_F(LogicRun, AnExceptionWhileAnInstallerRunsLeavesItToFinish) {
    Serve(Config({{"slow", 0, "/FAKE_SLEEP=3000"}, {"next", 1, "/FAKE_EXIT=0"}}));
    PressStartOnStartScreen();
    // The window fails as the second installer is about to start; the first one is running.
    m_script->ThrowOn("SetCloseButtonHidden", 1);
    EXPECT_TRUE(RunLogic(Parts()));

    EXPECT_EQ(m_script->Calls().back(), "Close");
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_STARTED"), 1);
    EXPECT_EQ(FinishedInstallers(), 1);
}

TEST_F(LogicRun, AStaleProductRunningFlagDoesNotSwallowTheRetryOfAFailedInstallation) {
    // "busy" meets its running product once; "failing" fails once, and only after the close-product pop-up is up.
    // The user leaves that pop-up alone: the automatic retry of "failing" finds no product running any more and
    // starts both again.
    const std::string go = Unique("go");
    Serve(Config({{"busy", 0, "/FAKE_EXIT_FIRST=4 /FAKE_EXIT=0"},
                  {"failing", 1, "/FAKE_WAIT_FOR=" + go + " /FAKE_EXIT_FIRST=6 /FAKE_EXIT=0"}}));
    PressStartOnStartScreen();
    m_script->When("ShowCloseProductPopup", [go](ISplashEventObserver&) {
        Testing::WriteWholeFile(std::filesystem::path(Nolvar::GetWorkingFolder().wstring()) /
                                    Nolvar::Core::WstringFromUtf8(go), "");
    }, 1);
    // Within the test's own time-out, so a run left waiting reports its splash calls.
    EXPECT_FALSE(RunLogic(Parts(), 60s));

    EXPECT_EQ(m_script->Count("ShowCloseProductPopup Product busy"), 1) << CallsText();
    std::vector<std::string> launches;
    for (const auto& e : m_statistics->Named("PRODUCT_INSTALL_STARTED")) launches.push_back(Param(e, "PRODUCT_NAME"));
    EXPECT_THAT(launches, ElementsAre("busy", "failing", "busy", "failing"));
    ASSERT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 1);
    EXPECT_EQ(Param(m_statistics->Named("PRODUCT_INSTALL_FAILED")[0], "PRODUCT_NAME"), "failing");
    EXPECT_EQ(m_script->Count("ShowRetryPopup"), 0);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 0);
}

namespace {

using Clock = std::chrono::steady_clock;

// `config` with the running check on for its first product.
nlohmann::json WithRunningCheck(nlohmann::json config) {
    config["data"]["Installers"][0]["check_app_running"]["DefaultValue"] = "true";
    return config;
}

} // namespace

// The product value of the wait is a minute; here it is ten, so that only the product's start ends it in time.
TEST_F(LogicRun, AnAutoLaunchedProductEndsTheRunAsSoonAsItRuns) {
    Serve(WithRunningCheck(Config({{"auto", 0, "/APP_LAUNCH_METHOD=Auto"}})));
    PressStartOnStartScreen();
    // The product starts two seconds after the bundle is reported installed.
    std::optional<Testing::ChildProcess> product;
    std::atomic<bool> closedBeforeTheProductRan{true};
    const Nolvar::SearchKeys keys = {{Nolvar::kSearchUninstallKeyPrefix, EntryName("auto")},
                                     {Nolvar::kSearchExeName, ProductExe("auto")}};
    m_script->When("SetCloseButtonHidden 1", [&](ISplashEventObserver&) {
        if (!m_statistics->WaitFor("BUNDLE_INSTALL_FINISHED", 60s)) return;
        std::this_thread::sleep_for(2s);
        const auto exe = Nolvar::FindInstalledApplication(keys).executablePath;
        if (exe.empty()) return;
        closedBeforeTheProductRan = m_script->Count("Close") > 0;
        product.emplace(exe.wstring(), std::vector<std::wstring>{L"/FAKE_SLEEP=60000"});
    }, 1);
    auto parts = Parts();
    parts.launchedProductWait = 10min;
    EXPECT_FALSE(RunLogic(std::move(parts), 100s));

    ASSERT_TRUE(product.has_value()) << CallsText();
    EXPECT_FALSE(closedBeforeTheProductRan.load()) << CallsText();   // the run waited for the product
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 0);
    EXPECT_EQ(m_script->Calls().back(), "Close");
}

TEST_F(LogicRun, ClosingTheWindowWhileWaitingForTheLaunchedProductEndsTheRunAtOnce) {
    Serve(WithRunningCheck(Config({{"never", 0, "/APP_LAUNCH_METHOD=Auto"}})));
    PressStartOnStartScreen();
    std::atomic<Clock::rep> closed{0};
    std::atomic<bool> endedBeforeTheClose{true};
    m_script->When("SetCloseButtonHidden 1", [&](ISplashEventObserver& o) {
        if (!m_statistics->WaitFor("BUNDLE_INSTALL_FINISHED", 60s)) return;
        std::this_thread::sleep_for(1s);
        endedBeforeTheClose = m_script->Count("Close") > 0;
        closed = Clock::now().time_since_epoch().count();
        o.OnExit(5, "Closed while waiting for the product");
    }, 1);
    // Neither the time-out nor the next look at the product comes within the test's limit: only the cancel does.
    auto parts = Parts();
    parts.launchedProductWait = 10min;
    parts.launchedProductPoll = 10min;
    EXPECT_FALSE(RunLogic(std::move(parts), 100s));
    const auto ended = Clock::now().time_since_epoch().count();

    ASSERT_NE(closed.load(), 0) << CallsText();
    EXPECT_FALSE(endedBeforeTheClose.load()) << CallsText();
    EXPECT_LT(Clock::duration(ended - closed.load()), 20s);
    EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 1);
    EXPECT_EQ(m_script->Calls().back(), "Close");
}

TEST(LaunchedProductWait, EndsAtItsLimitAndADestroyedWaitIsJoinedAtOnceWithoutReporting) {
    // The item never runs: its running check is off.
    std::atomic<int> reported{0};
    {
        Nolvar::LaunchedProductWait wait;
        const auto started = Clock::now();
        std::promise<Clock::time_point> done;
        wait.Start(Nolvar::InstallerItem{}, 300ms, 50ms, [&] {
            ++reported;
            done.set_value(Clock::now());
        });
        auto future = done.get_future();
        ASSERT_EQ(future.wait_for(30s), std::future_status::ready);
        EXPECT_GE(future.get() - started, 300ms);
    }
    EXPECT_EQ(reported.load(), 1);

    const auto started = Clock::now();
    {
        Nolvar::LaunchedProductWait wait;
        wait.Start(Nolvar::InstallerItem{}, 10min, 10min, [&] { ++reported; });
        std::this_thread::sleep_for(200ms);
    }
    EXPECT_LT(Clock::now() - started, 10s);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(reported.load(), 1);
}

namespace {

// Whether the product installer of this run started with `argument` ended by itself (see FinishedInstallers).
bool FinishedByItself(const std::string& argument) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(Nolvar::GetWorkingFolder().wstring()), error)) {
        if (entry.path().extension() != L".cmdline" || ReadFile(entry.path()).find(argument) == std::string::npos)
            continue;
        auto done = entry.path();
        if (std::filesystem::exists(done.replace_extension(L".done"))) return true;
    }
    return false;
}

} // namespace

// One product keeps installing while the other fails: ending the run, by a give-up or by the user, waits for
// the running one on the wait screen and never ends it.
class LogicRunBesideASlowInstaller : public LogicRun {
protected:
    void RunUntilTheEnd(SplashScript::Action onRetryPopup) {
        const std::string go = Unique("go");
        Serve(Config({{"slow", 0, "/FAKE_WAIT_FOR=" + go}, {"failing", 1, "/FAKE_EXIT=6", false}}));
        PressStartOnStartScreen();
        m_script->When("ShowRetryPopup", std::move(onRetryPopup));
        // Once the run has ended the bundle and shows the wait screen, the slow installer may finish.
        m_script->When("SetScreen 5", [this, go](ISplashEventObserver&) {
            if (m_statistics->Count("BUNDLE_INSTALL_CANCELLED") == 0) return;
            Testing::WriteWholeFile(std::filesystem::path(Nolvar::GetWorkingFolder().wstring()) /
                                        Nolvar::Core::WstringFromUtf8(go), "");
        });
        EXPECT_FALSE(RunLogic(Parts()));   // exit code 0

        EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(Nolvar::GetWorkingFolder().wstring()) /
                                            Nolvar::Core::WstringFromUtf8(go)))
            << "no wait screen after the end of the bundle\n" << CallsText();
        EXPECT_TRUE(FinishedByItself("/FAKE_WAIT_FOR=" + go)) << CallsText();
        EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_CANCELLED"), 1);
        EXPECT_EQ(m_statistics->Count("BUNDLE_INSTALL_FINISHED"), 0);
        EXPECT_EQ(m_script->Calls().back(), "Close");
    }
};

TEST_F(LogicRunBesideASlowInstaller, AGiveUpWaitsForTheOtherInstallerAndEndsWithExitCodeZero) {
    RunUntilTheEnd(PressRetry);
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 5);
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_CANCELLED").at(0), "ERROR_REASON"),
              "RetryInstall failed after four tries");
}

TEST_F(LogicRunBesideASlowInstaller, ACancelWaitsForTheOtherInstallerAndEndsWithExitCodeZero) {
    RunUntilTheEnd([](ISplashEventObserver& o) { o.OnRetryCancelled(); });
    EXPECT_EQ(m_statistics->Count("PRODUCT_INSTALL_FAILED"), 2);
    EXPECT_EQ(Param(m_statistics->Named("BUNDLE_INSTALL_CANCELLED").at(0), "ERROR_REASON"), "Retry dialog cancelled!");
}

// Exit code 9 is a success only when the product is found; otherwise it takes the failure road.
TEST_F(LogicRun, ExitCodeNineCountsAsSuccessOnlyWhenTheProductIsFound) {
    Serve(Config({{"nine", 0, "/FAKE_EXIT=9"}, {"ghostnine", 1, "/FAKE_EXIT=9", false}}));
    PressStartOnStartScreen();
    // The user cancels once "nine" has been reported.
    m_script->When("ShowRetryPopup", [this](ISplashEventObserver& o) {
        for (int i = 0; i < 3000; ++i) {
            const auto finished = m_statistics->Named("PRODUCT_INSTALL_FINISHED");
            if (std::any_of(finished.begin(), finished.end(), [](const Event& e) { return Param(e, "PRODUCT_NAME") == "nine"; }))
                break;
            std::this_thread::sleep_for(20ms);
        }
        o.OnRetryCancelled();
    });
    EXPECT_FALSE(RunLogic(Parts()));

    std::vector<std::string> failed, finished;
    for (const auto& e : m_statistics->Named("PRODUCT_INSTALL_FAILED")) failed.push_back(Param(e, "PRODUCT_NAME"));
    for (const auto& e : m_statistics->Named("PRODUCT_INSTALL_FINISHED")) finished.push_back(Param(e, "PRODUCT_NAME"));
    EXPECT_THAT(failed, ElementsAre("ghostnine", "ghostnine"));   // the automatic retry, then the pop-up
    EXPECT_EQ(std::count(finished.begin(), finished.end(), "nine"), 1);
    EXPECT_EQ(m_script->Count("ShowRetryPopup Product ghostnine -1"), 1) << CallsText();
    EXPECT_EQ(m_script->Count("ShowRetryPopup Product nine "), 0);
}
