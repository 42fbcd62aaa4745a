#include <glog/logging.h>
#include <gtest/gtest.h>

#include <regex>
#include <thread>

#include "QorHash/Sha1.h"
#include "TrackerSupport.h"
#include "Tracking/Tallivo/Impl/IScheduler.h"
#include "Tracking/Tallivo/InitializationString.h"
#include "Uploads.h"
#include "testing/LogCapture.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::Tracking;
using namespace Nolvar::Tracking::Instant;
using namespace std::chrono_literals;

namespace {

class RecordingScheduler : public IScheduler {
public:
    void put(const Event& event) override {
        std::lock_guard lock(mutex);
        events.push_back(event);
    }
    std::mutex mutex;
    std::vector<Event> events;
};

IApplicationTracker::Initializer InitWith(std::shared_ptr<IScheduler> scheduler, std::string text) {
    IApplicationTracker::Initializer init;
    init.initializationString = std::move(text);
    init.moduleName = "module";
    init.scheduler = std::move(scheduler);
    return init;
}

class Settings : public ITrackerSettings {
public:
    bool getBool(const std::string& key, bool defaultValue) const override {
        return key == "STAT_PREVENT_EVENTS_SENDING" ? true : defaultValue;
    }
};

// Everything from the provider; sending turned off.
class Provider : public ITrackerDataProvider {
public:
    explicit Provider(std::string product) : m_product(std::move(product)) {}
    std::shared_ptr<ITrackerSettings> getSettings() const override { return std::make_shared<Settings>(); }
    std::string getVendor() const override { return "NolvariaTest"; }
    Core::Version getVersion() const override { return {2, 0, 0, 0}; }
    std::pair<std::string, std::string> getHeader() const override { return {"User-Agent", "provider"}; }
    std::string getProduct() const override { return m_product; }
    std::string getModuleName() const override { return "provided"; }
    std::string getStatisticsUrl() const override { return "http://127.0.0.1:1/stat"; }

private:
    std::string m_product;
};

} // namespace

TEST(InitializationString, Parsing) {
    const auto defaults = ParseInitializationString("#PRODUCT_NAME=App#USER_ID=u1");
    const std::map<std::string, std::string> expected = {
        {"PRODUCT_NAME", "App"}, {"BUILD_NAME", "App"},  {"PRODUCT_PACKAGE", "DEFAULT"}, {"PRODUCT_KEY", ""},
        {"PRODUCT_VENDOR", ""},  {"USER_ID", "u1"},      {"HUID", Util::SHA1("u1")}};
    EXPECT_EQ(defaults, expected);

    EXPECT_EQ(ParseInitializationString("##USER_ID=u#EXTRA=x##").at("EXTRA"), "x");
    EXPECT_EQ(ParseInitializationString("#USER_ID=").at("HUID"), Util::SHA1(""));
    EXPECT_EQ(ParseInitializationString("#USER_ID=a#USER_ID=b").at("USER_ID"), "b");
    EXPECT_EQ(ParseInitializationString("#USER_ID=u#USER_ID_V2=v").at("HUID_V2"), Util::SHA1("v"));
    EXPECT_EQ(ParseInitializationString("#USER_ID=u").count("HUID_V2"), 0u);
    for (const char* bad : {"#USER_ID=u#A==1", "#USER_ID=u#A=1=2", "#USER_ID=u#A"}) {
        try {
            ParseInitializationString(bad);
            ADD_FAILURE() << bad;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()).rfind("Initialization string must contain Key-value parameters\n#0 ", 0), 0u);
        }
    }
    EXPECT_THROW(ParseInitializationString("#PRODUCT_NAME=App"), std::logic_error);
}

TEST(InitializationString, OddValuesAreMadeHarmless) {
    const std::string text = MakeInitializationString({{"PRODUCT_NAME", "A#B=C"}, {"USER_ID", "u"}});
    EXPECT_EQ(text, "#PRODUCT_NAME=A_B_C#USER_ID=u");
    EXPECT_EQ(ParseInitializationString(text).at("PRODUCT_NAME"), "A_B_C");
}

TEST(Tracker, OneInstanceAndItsLifecycle) {
    boost::intrusive_ptr<Tracker> first, second;
    std::thread a([&] { first = Tracker::GetInstance(); });
    std::thread b([&] { second = Tracker::GetInstance(); });
    a.join();
    b.join();
    EXPECT_EQ(first.get(), second.get());
    EXPECT_EQ(::GetInstance(), first.get());

    auto tracker = Tracker::GetInstance();
    EXPECT_FALSE(tracker->IsInitialized());
    EXPECT_FALSE(tracker->TrackEvent("E", {}));
    EXPECT_FALSE(tracker->TrackException("E", "k", "v"));
    EXPECT_TRUE(tracker->Deinitialize());

    auto scheduler = std::make_shared<RecordingScheduler>();
    ASSERT_TRUE(tracker->Initialize(InitWith(scheduler, "#USER_ID=u")));
    EXPECT_FALSE(tracker->Initialize("n", Core::Version{}, "v", "p", nullptr));
    EXPECT_TRUE(tracker->IsInitialized());
    EXPECT_TRUE(tracker->TrackEvent("E", {}));
    EXPECT_TRUE(tracker->Deinitialize());
    EXPECT_TRUE(tracker->Deinitialize());
    EXPECT_FALSE(tracker->IsInitialized());
    EXPECT_FALSE(tracker->TrackEvent("E", {}));
    EXPECT_EQ(scheduler->events.size(), 1u);
}

TEST(Tracker, EventsAreEnriched) {
    auto tracker = Tracker::GetInstance();
    auto scheduler = std::make_shared<RecordingScheduler>();
    ASSERT_TRUE(tracker->Initialize(InitWith(scheduler, "#PRODUCT_NAME=App#USER_ID=u1#CHANNEL=beta")));
    ASSERT_TRUE(tracker->TrackEvent("FIRST", {{"PRODUCT_NAME", "Mine"}, {"UNIQUE_ID", "x"}, {"DATE_TIME", "y"}}));
    ASSERT_TRUE(tracker->TrackException("SECOND", "WHAT", "boom"));
    tracker->Deinitialize();

    ASSERT_EQ(scheduler->events.size(), 2u);
    const auto& first = scheduler->events[0].params;
    const auto& second = scheduler->events[1].params;
    EXPECT_EQ(first.at("PRODUCT_NAME"), "Mine");
    EXPECT_EQ(second.at("PRODUCT_NAME"), "App");
    EXPECT_EQ(second.at("CHANNEL"), "beta");
    EXPECT_EQ(second.at("WHAT"), "boom");
    EXPECT_EQ(second.at("MODULE_NAME"), "module");
    EXPECT_EQ(second.at("HUID"), Util::SHA1("u1"));
    EXPECT_EQ(first.at("PREVIOUS_EVENT_NAME"), "");
    EXPECT_EQ(first.at("PREVIOUS_EVENT_UNIQUE_ID"), "");
    EXPECT_EQ(second.at("PREVIOUS_EVENT_NAME"), "FIRST");
    EXPECT_EQ(second.at("PREVIOUS_EVENT_UNIQUE_ID"), first.at("UNIQUE_ID"));
    const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(first.at("UNIQUE_ID"), uuid)) << first.at("UNIQUE_ID");
    EXPECT_NE(first.at("UNIQUE_ID"), second.at("UNIQUE_ID"));
    EXPECT_TRUE(std::regex_match(first.at("DATE_TIME"), std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)")));
}

TEST(Tracker, FailedInitializeKeepsThePreviousPipeline) {
    auto tracker = Tracker::GetInstance();
    auto scheduler = std::make_shared<RecordingScheduler>();
    ASSERT_TRUE(tracker->Initialize(InitWith(scheduler, "#USER_ID=u")));

    EXPECT_FALSE(tracker->Initialize(InitWith(std::make_shared<RecordingScheduler>(), "#PRODUCT_NAME=x")));
    auto noModule = InitWith(std::make_shared<RecordingScheduler>(), "#USER_ID=u");
    noModule.moduleName.reset();
    EXPECT_FALSE(tracker->Initialize(std::move(noModule)));
    EXPECT_FALSE(tracker->Initialize(Testing::TrackerInit("not a url", "TallivoTest-bad-url")));
    auto outside = Testing::TrackerInit("http://127.0.0.1:1/", "..");
    EXPECT_FALSE(tracker->Initialize(std::move(outside)));
    auto drive = Testing::TrackerInit("http://127.0.0.1:1/", "x");
    drive.vendor = "C:";
    EXPECT_FALSE(tracker->Initialize(std::move(drive)));
    auto missing = Testing::TrackerInit("http://127.0.0.1:1/", "x");
    missing.extraHeader.reset();
    EXPECT_FALSE(tracker->Initialize(std::move(missing)));

    EXPECT_TRUE(tracker->TrackEvent("STILL", {}));
    ASSERT_EQ(scheduler->events.size(), 1u);
    tracker->Deinitialize();
}

TEST(Tracker, ProviderFillsTheGapsAndCanTurnSendingOff) {
    const std::string product = Testing::UniqueKey("TallivoTest-provider");
    Testing::ProductFolderCleanup cleanup(product);
    auto tracker = Tracker::GetInstance();
    IApplicationTracker::Initializer init;
    init.initializationString = "#PRODUCT_NAME=App#USER_ID=u1";
    init.dataProvider = std::make_shared<Provider>(product);
    ASSERT_TRUE(tracker->Initialize(std::move(init)));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(tracker->TrackEvent("E", {}));
    tracker->Deinitialize();
    EXPECT_EQ(Testing::StoredEvents(product), 5u);
}

namespace {

// The events each bounded shutdown says it could not store ("Statistics shutdown: N queued events were not
// stored ...").
std::size_t NotStoredAtShutdown(const Testing::LogCapture& log) {
    static const std::regex kLine(R"(Statistics shutdown: (\d+) queued events were not stored)");
    std::size_t count = 0;
    for (const std::string& line : log.lines(google::GLOG_WARNING)) {
        std::smatch match;
        if (std::regex_search(line, match, kLine)) count += std::stoul(match[1].str());
    }
    return count;
}

} // namespace

TEST(Tracker, TrackingDuringReinitialisationNeverLosesAnAcceptedEvent) {
    Testing::TestServer server;
    const std::string key = Testing::UniqueKey("reinit");
    server.script(key, R"([{"status":500}])");  // nothing is ever deleted
    const std::string product = Testing::UniqueKey("TallivoTest-reinit");
    Testing::ProductFolderCleanup cleanup(product);
    auto tracker = Tracker::GetInstance();
    Testing::LogCapture log;

    // Every event the tracker accepts reaches a pipeline, whichever one is current, and is stored when that
    // pipeline shuts down; only a shutdown past its time bound may leave events unstored, and it says how many.
    std::atomic<bool> done{false};
    std::atomic<int> accepted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            while (!done) {
                if (tracker->TrackEvent("WORKER", {{"X", "y"}})) ++accepted;
                std::this_thread::sleep_for(2ms);
            }
        });
    }
    for (int round = 0; round < 8; ++round) {
        EXPECT_TRUE(tracker->Initialize(Testing::TrackerInit(server.httpUrl("/script/" + key), product)));
        std::this_thread::sleep_for(30ms);
        if (round % 2) tracker->Deinitialize();
    }
    tracker->Deinitialize();
    done = true;
    for (auto& thread : threads) thread.join();
    EXPECT_GT(accepted.load(), 0);
    const std::size_t stored = Testing::StoredEvents(product);
    EXPECT_GT(stored, 0u);
    EXPECT_EQ(stored + NotStoredAtShutdown(log), static_cast<std::size_t>(accepted.load()))
        << stored << " stored, " << NotStoredAtShutdown(log) << " reported as not stored";
}

TEST(Tracker, FailuresAreLoggedClearly) {
    Testing::TempFolder logs(L"tallivo-log-Пользователь-");
    FLAGS_log_dir = logs.path().string();
    google::InitGoogleLogging("TallivoTrackerTest");
    auto tracker = Tracker::GetInstance();
    EXPECT_FALSE(tracker->Initialize(InitWith(std::make_shared<RecordingScheduler>(), "#PRODUCT_NAME=x")));
    EXPECT_FALSE(tracker->Initialize(Testing::TrackerInit("http://127.0.0.1:1/", "..\\..\\Windows")));
    google::FlushLogFiles(google::GLOG_INFO);
    google::ShutdownGoogleLogging();

    const std::string log = Testing::ReadInfoLogs(logs.path());
    const auto missingUserId = log.find("Failed to initialize tracker. Error: USER_ID parameter is required");
    ASSERT_NE(missingUserId, std::string::npos) << log;
    EXPECT_EQ(log.find("#0 Tallivo.dll+0x", missingUserId), log.find('#', missingUserId)) << log;
    // The line names the library's own source, like the lines of its storage, scheduler and sender.
    const auto lineStart = log.rfind('\n', missingUserId) + 1;
    EXPECT_NE(log.substr(lineStart, missingUserId - lineStart).find(" Tallivo.cpp:"), std::string::npos)
        << log.substr(lineStart, missingUserId - lineStart);
    EXPECT_NE(log.find("Failed to initialize tracker. Error: Statistics product name is not a plain folder name: "
                       "\"..\\..\\Windows\""),
              std::string::npos)
        << log;
}
