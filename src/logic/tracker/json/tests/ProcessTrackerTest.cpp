// The statistics tracker over the tracking library's real process tracker, uploading to the local test server.
#include <windows.h>

#include <chrono>
#include <set>
#include <thread>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorFilesystem/CacheRoot.h"
#include "logic/tracker/json/JsonStatisticsTracker.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"
#include "testing/TestServer.h"

using namespace Nolvar;
using Tracking::Instant::Event;
using nlohmann::json;

namespace {

// A statistics product of this test only; its event storage is removed afterwards.
class StatisticsProduct {
public:
    explicit StatisticsProduct(const std::string& tag)
        : m_name("NetsetterStatsTest-" + tag + "-" + std::to_string(GetCurrentProcessId())) {}
    ~StatisticsProduct() {
        boost::system::error_code ignored;
        boost::filesystem::remove_all(Core::GetSystemCacheRoot() / "Nolvaria" / m_name, ignored);
    }
    const std::string& name() const { return m_name; }
    // The events stored on disk for this product.
    std::size_t storedEvents() const {
        std::size_t count = 0;
        boost::system::error_code error;
        for (boost::filesystem::directory_iterator it(Core::GetSystemCacheRoot() / "Nolvaria" / m_name / "EventsStorage",
                                                      error), end;
             !error && it != end; ++it)
            count += it->path().extension() == ".json";
        return count;
    }

private:
    std::string m_name;
};

std::vector<json> UploadedEvents(const Testing::TestServer& server, const std::string& key) {
    std::vector<json> events;
    for (const auto& request : json::parse(server.recorded(key))) {
        const auto body = json::parse(request.at("body").get<std::string>(), nullptr, false);
        if (!body.is_object() || !body.contains("events")) continue;
        for (const auto& event : body.at("events")) events.push_back(event);
    }
    return events;
}

template <class Condition>
bool WaitFor(Condition done, std::chrono::seconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

std::string Param(const json& event, const std::string& key) {
    return event.at("params").value(key, "<absent>");
}

std::string Name(const json& event) { return event.at("name").get<std::string>(); }

// A key of this test process under which the server accepts every upload.
std::string AcceptingKey(const Testing::TestServer& server, const std::string& tag) {
    const std::string key = "stats-" + tag + "-" + std::to_string(GetCurrentProcessId());
    server.reset(key);
    server.script(key, R"([{"status":200,"body":{"success":true,"disabled":false}}])");
    return key;
}

} // namespace

TEST(ProcessTracker, EventsBeforeAndAfterInitializationAreUploadedWithTheFillersParameters) {
    Settings::Set(Settings::ID::HardwareId, std::any(std::string("M1")));
    Settings::Set(Settings::ID::ProductVersion, std::any(std::string("3.1.4")));  // from the configuration
    Settings::Set(Settings::ID::ConfigName, std::any(std::string("config-e2e")));
    Settings::Set(Settings::ID::UserAgentHeader, std::any(std::string("User-Agent: nolvaria netsetter 2.0.0 web")));
    Testing::TestServer server;
    const std::string key = AcceptingKey(server, "e2e");
    StatisticsProduct product("e2e");

    {
        JsonStatisticsTracker statistics;
        statistics.TrackEvent(Event("EARLY", {{"STEP", "1"}}));
        statistics.Initialize(server.httpUrl("/script/" + key), "K1", product.name());
        statistics.TrackEvent(Event("LATE", {{"VERSION", "own"}}));
        ASSERT_TRUE(WaitFor([&] { return UploadedEvents(server, key).size() >= 2; }, std::chrono::seconds(30)))
            << server.recorded(key);
    }

    const auto events = UploadedEvents(server, key);
    ASSERT_EQ(events.size(), 2u) << server.recorded(key);
    const auto& early = Name(events[0]) == "EARLY" ? events[0] : events[1];
    const auto& late = Name(events[0]) == "EARLY" ? events[1] : events[0];
    EXPECT_EQ(Name(early), "EARLY") << early.dump();
    EXPECT_EQ(Name(late), "LATE") << late.dump();
    EXPECT_EQ(Param(early, "STEP"), "1");
    EXPECT_EQ(Param(early, "WI_CONFIG_NAME"), "config-e2e");
    EXPECT_EQ(Param(early, "PRODUCT_KEY"), "K1");
    EXPECT_EQ(Param(early, "SID"), Param(late, "SID"));
    EXPECT_EQ(Param(early, "VERSION"), "1.0.0.0");
    EXPECT_EQ(Param(early, "PRODUCT_VERSION"), "3.1.4");
    EXPECT_EQ(Param(late, "VERSION"), "own");

    const auto requests = json::parse(server.recorded(key));
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0]["headers"]["User-Agent"], "nolvaria netsetter 2.0.0 web");
}

TEST(ProcessTracker, AnEmptyModuleNameSwitchKeepsTheDefaultAndEventsStillGoOut) {
    std::string program = "installer.exe", emptyModuleName = "--module-name=";
    char* argv[] = {program.data(), emptyModuleName.data(), nullptr};
    Settings::Init(2, argv);
    Settings::Set(Settings::ID::ProductVersion, std::any(std::string("3.1.4")));  // from the configuration
    Testing::TestServer server;
    const std::string key = AcceptingKey(server, "module");
    StatisticsProduct product("module");
    {
        JsonStatisticsTracker statistics;
        statistics.Initialize(server.httpUrl("/script/" + key), "K1", product.name());
        statistics.TrackEvent(Event("AFTER_EMPTY_SWITCH", {}));
        ASSERT_TRUE(WaitFor([&] { return !UploadedEvents(server, key).empty(); }, std::chrono::seconds(30)));
    }
    EXPECT_EQ(Param(UploadedEvents(server, key).at(0), "MODULE_NAME"), "netsetter");
}

// The run ends before a configuration named the statistics address: its events are stored, unsent, where the
// built-in configuration keeps events, and the next run sends them.
TEST(ProcessTracker, EventsStillWaitingAtTheEndAreStoredForTheNextRunToSend) {
    Settings::Set(Settings::ID::HardwareId, std::any(std::string("M1")));
    Settings::Set(Settings::ID::ConfigName, std::any());  // no configuration was read
    Settings::Set(Settings::ID::ProductVersion, std::any());
    Testing::TestServer server;
    const std::string key = AcceptingKey(server, "leftovers");
    StatisticsProduct product("leftovers");
    const StatisticsSettings builtIn{server.httpUrl("/script/" + key), "K1", product.name()};
    {
        JsonStatisticsTracker statistics(JsonStatisticsTracker::ProcessTracker, JsonStatisticsTracker::kMaxPendingEvents,
                                         [&] { return builtIn; });
        statistics.TrackEvent(Event("CONFIG_SCREEN_SHOWN", {{"STEP", "1"}}));
        statistics.TrackEvent(Event("BUNDLE_INSTALL_CANCELLED", {}));
    }
    EXPECT_EQ(product.storedEvents(), 2u);
    EXPECT_TRUE(json::parse(server.recorded(key)).empty()) << "stored only, never sent";

    Settings::Set(Settings::ID::ProductVersion, std::any(std::string("3.1.4")));  // the next run's configuration
    {
        JsonStatisticsTracker statistics;
        statistics.Initialize(builtIn.url, builtIn.productKey, builtIn.product);
        ASSERT_TRUE(WaitFor([&] { return UploadedEvents(server, key).size() >= 2; }, std::chrono::seconds(30)))
            << server.recorded(key);
    }
    const auto events = UploadedEvents(server, key);
    ASSERT_EQ(events.size(), 2u) << server.recorded(key);
    std::set<std::string> names;
    for (const auto& event : events) {
        names.insert(Name(event));
        EXPECT_EQ(Param(event, "PRODUCT_KEY"), "K1");
        EXPECT_EQ(Param(event, "WI_CONFIG_NAME"), "CONFIG_FROM_INSTALLER");
        EXPECT_EQ(Param(event, "SID").size(), 36u);
    }
    EXPECT_EQ(names, (std::set<std::string>{"CONFIG_SCREEN_SHOWN", "BUNDLE_INSTALL_CANCELLED"}));
    EXPECT_EQ(product.storedEvents(), 0u);
}
