#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "testing/LogCapture.h"
#include "RecordingTracker.h"
#include "logic/tracker/json/JsonStatisticsTracker.h"
#include "logic/tracker/json/TrackerInitializer.h"
#include "utils/Settings.h"
#include "utils/Localization.h"

using namespace Nolvar;
using Testing::LogCapture;
using Tracking::Instant::Event;
using ::testing::ElementsAre;

namespace {

const Settings::ID kUsedSettings[] = {
    Settings::ID::BundleName,   Settings::ID::BundleVersion,      Settings::ID::ConfigName,
    Settings::ID::InstallerVersion, Settings::ID::Locale,         Settings::ID::ProductId,
    Settings::ID::ProductVersion, Settings::ID::WebUid,           Settings::ID::ProductDisplayName,
    Settings::ID::BuildName,    Settings::ID::HardwareId,         Settings::ID::ModuleName,
    Settings::ID::UserAgentHeader};

class StatisticsTrackerTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto id : kUsedSettings) {
            Settings::Set(id, id == Settings::ID::Locale ? std::any(std::string()) : std::any());
        }
    }

    static void Set(Settings::ID id, const char* value) { Settings::Set(id, std::any(std::string(value))); }

    JsonStatisticsTracker::TrackerSource source() const {
        return [tracker = m_tracker] { return Tracking::ApplicationTrackerPtr(tracker); };
    }

    boost::intrusive_ptr<RecordingTracker> m_tracker{new RecordingTracker};
};

// Lets a number of threads start together. Not std::latch: without a futex (Windows) this libstdc++ signals the
// latch's condition variable without holding its mutex, so a thread that is just going to sleep can miss the
// last arrival and wait forever.
class StartGate {
public:
    explicit StartGate(int count) : m_missing(count) {}

    void arriveAndWait() {
        std::unique_lock lock(m_mutex);
        if (--m_missing == 0) m_open.notify_all();
        m_open.wait(lock, [this] { return m_missing == 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_open;
    int m_missing;
};

std::vector<std::string> Names(const std::vector<Event>& events) {
    std::vector<std::string> names;
    for (const auto& event : events) names.push_back(event.name);
    return names;
}

} // namespace

TEST_F(StatisticsTrackerTest, PendingEventsAreDeliveredOnInitializeWithFillerValuesOfThatMoment) {
    JsonStatisticsTracker statistics(source());
    Set(Settings::ID::ConfigName, "early");
    statistics.TrackEvent(Event("FIRST", {{"STEP", "1"}}));
    statistics.TrackEvent(Event("", {{"IGNORED", "1"}}));
    statistics.TrackEvent(Event("SECOND", {}));
    EXPECT_TRUE(m_tracker->events().empty());
    EXPECT_TRUE(m_tracker->initializers().empty()) << "construction and tracking do not initialise";

    Set(Settings::ID::ConfigName, "downloaded");
    Set(Settings::ID::BundleName, "bundle");
    Set(Settings::ID::WebUid, "web-user-1");
    statistics.Initialize("https://stats.example/upload", "K1", "target");

    const auto events = m_tracker->events();
    ASSERT_THAT(Names(events), ElementsAre("FIRST", "SECOND"));
    const auto& params = events[0].params;
    EXPECT_EQ(params.at("STEP"), "1");
    EXPECT_EQ(params.at("WI_CONFIG_NAME"), "downloaded");
    EXPECT_EQ(params.at("BUNDLE_NAME"), "bundle");
    EXPECT_EQ(params.at("WEBUID"), "web-user-1");
    std::set<std::string> keys;
    for (const auto& [key, value] : params) keys.insert(key);
    EXPECT_EQ(keys, (std::set<std::string>{"STEP", "BUNDLE_NAME", "BUNDLE_VERSION", "WI_CONFIG_NAME", "VERSION",
                                           "LANGUAGE", "OS_BITS", "OS_EDITION", "OS_NAME", "OS_VERSION",
                                           "BUNDLE_ID", "PRODUCT_VERSION", "SID", "WEBUID"}));

    // Once initialised, events go straight through.
    statistics.TrackEvent(Event("THIRD", {}));
    EXPECT_THAT(Names(m_tracker->events()), ElementsAre("FIRST", "SECOND", "THIRD"));
}

TEST_F(StatisticsTrackerTest, FillersAddDefaultsButNeverReplaceTheCallersParameters) {
    JsonStatisticsTracker statistics(source());
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    statistics.TrackEvent(Event("OWN", {{"VERSION", "9.9"}, {"WEBUID", "mine"}}));
    statistics.TrackEvent(Event("DEFAULTS", {}));

    const auto events = m_tracker->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].params.at("VERSION"), "9.9");
    EXPECT_EQ(events[0].params.at("WEBUID"), "mine");
    const auto& defaults = events[1].params;
    EXPECT_EQ(defaults.at("VERSION"), "1.0.0.0");
    EXPECT_EQ(defaults.at("WI_CONFIG_NAME"), "CONFIG_FROM_INSTALLER");
    EXPECT_EQ(defaults.at("PRODUCT_VERSION"), "1.0.0.0");
    EXPECT_EQ(defaults.at("BUNDLE_NAME"), "");
    EXPECT_EQ(defaults.at("BUNDLE_ID"), "");
    EXPECT_EQ(defaults.at("WEBUID"), "");
    EXPECT_EQ(defaults.at("OS_NAME"), "Windows");
    EXPECT_EQ(defaults.at("OS_BITS"), "64");
}

TEST_F(StatisticsTrackerTest, LanguageIsTheCurrentUiLocaleOrTheDefaultOne) {
    JsonStatisticsTracker statistics(source());
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    Set(Settings::ID::Locale, "ru-RU");
    statistics.TrackEvent(Event("RU", {}));
    Set(Settings::ID::Locale, "de-DE");
    statistics.TrackEvent(Event("DE", {}));

    const auto events = m_tracker->events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].params.at("LANGUAGE"), "ru-RU");
    EXPECT_EQ(events[1].params.at("LANGUAGE"), DefaultLocale());
}

TEST_F(StatisticsTrackerTest, EveryEventOfTheProcessCarriesTheSameRandomSid) {
    JsonStatisticsTracker statistics(source());
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    statistics.TrackEvent(Event("A", {}));
    statistics.Initialize("https://stats.example/upload", "K1", "target");  // new fillers, same process
    statistics.TrackEvent(Event("B", {}));

    const auto events = m_tracker->events();
    ASSERT_EQ(events.size(), 2u);
    const auto sid = events[0].params.at("SID");
    EXPECT_EQ(events[1].params.at("SID"), sid);
    ASSERT_EQ(sid.size(), 36u);
    for (std::size_t i = 0; i < sid.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(sid[i], '-');
        } else {
            EXPECT_TRUE((sid[i] >= '0' && sid[i] <= '9') || (sid[i] >= 'a' && sid[i] <= 'f')) << sid;
        }
    }
    EXPECT_EQ(sid[14], '4') << "version 4";
    EXPECT_NE(std::string("89ab").find(sid[19]), std::string::npos) << "RFC 4122 variant";
}

TEST_F(StatisticsTrackerTest, InitializerCarriesTheConfigurationAndSettings) {
    Set(Settings::ID::ProductDisplayName, "Demo App");
    Set(Settings::ID::HardwareId, "M1");
    Set(Settings::ID::ProductVersion, "3.1.4");
    Set(Settings::ID::UserAgentHeader, "User-Agent: nolvaria netsetter 2.0.0 web");
    JsonStatisticsTracker statistics(source());
    statistics.Initialize("https://stats.example/upload", "K1", "target-app");

    const auto initializers = m_tracker->initializers();
    ASSERT_EQ(initializers.size(), 1u);
    const auto& init = initializers[0];
    EXPECT_EQ(init.initializationString,
              "#PRODUCT_NAME=Demo App#PRODUCT_KEY=K1#PRODUCT_VENDOR=Nolvaria#BUILD_NAME=netsetter#USER_ID=M1");
    EXPECT_EQ(init.moduleName, "netsetter");
    EXPECT_EQ(init.statisticsUrl, "https://stats.example/upload");
    EXPECT_EQ(init.version, "3.1.4");
    EXPECT_EQ(init.vendor, "Nolvaria");
    EXPECT_EQ(init.product, "target-app");
    ASSERT_TRUE(init.extraHeader.has_value());
    EXPECT_EQ(init.extraHeader->first, "User-Agent");
    EXPECT_EQ(init.extraHeader->second, "nolvaria netsetter 2.0.0 web");
    EXPECT_FALSE(init.protocolVersion.has_value());
    EXPECT_EQ(init.scheduler, nullptr);
    EXPECT_EQ(init.dataProvider, nullptr);
}

TEST_F(StatisticsTrackerTest, OddValuesCannotBreakTheInitializationString) {
    Set(Settings::ID::ProductDisplayName, "A#B=C");
    Set(Settings::ID::BuildName, "nightly");
    Set(Settings::ID::HardwareId, "M=1");
    LogCapture log;
    EXPECT_EQ(MakeInitializationString("K#1"),
              "#PRODUCT_NAME=A_B_C#PRODUCT_KEY=K_1#PRODUCT_VENDOR=Nolvaria#BUILD_NAME=nightly#USER_ID=M_1");
    EXPECT_EQ(log.lines(google::GLOG_WARNING).size(), 3u);
}

TEST_F(StatisticsTrackerTest, CommandLineNamesGivenWithoutAValueFallBackInsteadOfThrowing) {
    // "--module-name" and "--build-name" without "=" are stored as flags.
    Settings::Set(Settings::ID::ModuleName, std::any(true));
    Settings::Set(Settings::ID::BuildName, std::any(true));
    JsonStatisticsTracker statistics(source());
    statistics.Initialize("https://stats.example/upload", "K1", "target-app");

    const auto initializers = m_tracker->initializers();
    ASSERT_EQ(initializers.size(), 1u);
    EXPECT_EQ(initializers[0].moduleName, "netsetter");
    EXPECT_NE(initializers[0].initializationString.find("#BUILD_NAME=netsetter#"), std::string::npos);
}

TEST_F(StatisticsTrackerTest, UserAgentHeaderValueIsTheBareAgent) {
    EXPECT_EQ(BareUserAgent("User-Agent: a b 1 web"), "a b 1 web");
    EXPECT_EQ(BareUserAgent("user-agent:a b"), "a b");
    EXPECT_EQ(BareUserAgent("a b 1 web"), "a b 1 web");
    EXPECT_EQ(BareUserAgent(""), "");
}

TEST_F(StatisticsTrackerTest, RejectedInitializationDropsThePendingEventsOnceAndKeepsLaterOnes) {
    JsonStatisticsTracker statistics(source());
    statistics.TrackEvent(Event("BEFORE", {}));
    m_tracker->acceptInitialize = false;
    statistics.Initialize("not a url", "K1", "target");
    statistics.TrackEvent(Event("AFTER", {}));
    EXPECT_TRUE(m_tracker->events().empty());

    m_tracker->acceptInitialize = true;
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    EXPECT_THAT(Names(m_tracker->events()), ElementsAre("AFTER"));
}

TEST_F(StatisticsTrackerTest, ReinitializationAndDestructionDeinitializeTheProcessTracker) {
    {
        JsonStatisticsTracker statistics(source());
        statistics.Initialize("https://stats.example/a", "K1", "target");
        EXPECT_EQ(m_tracker->deinitializations(), 0);
        statistics.Initialize("https://stats.example/b", "K2", "target");
        EXPECT_EQ(m_tracker->deinitializations(), 1);
        ASSERT_EQ(m_tracker->initializers().size(), 2u);
        EXPECT_EQ(m_tracker->initializers()[1].statisticsUrl, "https://stats.example/b");
    }
    EXPECT_EQ(m_tracker->deinitializations(), 2);
    EXPECT_FALSE(m_tracker->IsInitialized());
}

TEST_F(StatisticsTrackerTest, WithoutAProcessTrackerEventsWaitUntilOneIsThere) {
    bool present = false;
    JsonStatisticsTracker statistics([&]() -> Tracking::ApplicationTrackerPtr {
        return present ? m_tracker : nullptr;
    });
    statistics.TrackEvent(Event("WAITING", {}));
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    EXPECT_TRUE(m_tracker->initializers().empty());

    present = true;
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    EXPECT_THAT(Names(m_tracker->events()), ElementsAre("WAITING"));
}

TEST_F(StatisticsTrackerTest, PendingListKeepsTheNewestEventsUpToItsBound) {
    LogCapture log;
    JsonStatisticsTracker statistics(source(), 3);
    for (const char* name : {"E1", "E2", "E3", "E4", "E5"}) statistics.TrackEvent(Event(name, {}));
    const auto dropped = log.lines(google::GLOG_WARNING);
    ASSERT_EQ(dropped.size(), 2u);
    EXPECT_NE(dropped[0].find("\"E1\""), std::string::npos) << dropped[0];
    EXPECT_NE(dropped[1].find("\"E2\""), std::string::npos) << dropped[1];

    statistics.Initialize("https://stats.example/upload", "K1", "target");
    EXPECT_THAT(Names(m_tracker->events()), ElementsAre("E3", "E4", "E5"));
}

TEST_F(StatisticsTrackerTest, EventsFromSeveralThreadsAreEachDeliveredOnceAcrossInitialization) {
    JsonStatisticsTracker statistics(source(), 100000);
    constexpr int kThreads = 4;
    constexpr int kPerThread = 1000;
    std::atomic<int> tracked{0};
    StartGate start(kThreads + 1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arriveAndWait();
            for (int i = 0; i < kPerThread; ++i) {
                statistics.TrackEvent(Event("E", {{"ID", std::to_string(t * kPerThread + i)}}));
                ++tracked;
            }
        });
    }
    start.arriveAndWait();
    while (tracked < kThreads * kPerThread / 4) std::this_thread::yield();
    statistics.Initialize("https://stats.example/upload", "K1", "target");  // while the threads track
    for (auto& thread : threads) thread.join();

    std::set<std::string> ids;
    for (const auto& event : m_tracker->events()) {
        EXPECT_TRUE(ids.insert(event.params.at("ID")).second) << "delivered twice: " << event.params.at("ID");
        EXPECT_TRUE(event.params.count("SID"));
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(kThreads * kPerThread));
}

TEST_F(StatisticsTrackerTest, LogsEachEventWithTheCallersParametersOnly) {
    LogCapture log;
    JsonStatisticsTracker statistics(source());
    statistics.Initialize("https://stats.example/upload", "K1", "target");
    statistics.TrackEvent(Event("SCREEN_SHOWN", {{"B", "2"}, {"A", "1"}}));
    statistics.TrackEvent(Event("", {{"A", "1"}}));

    EXPECT_THAT(log.lines(), ElementsAre("Event \"SCREEN_SHOWN\" tracked", "    Parameter \"A\" = \"1\"",
                                         "    Parameter \"B\" = \"2\""));
}
