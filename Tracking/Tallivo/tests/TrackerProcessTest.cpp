#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include "TallivoHelper.h"
#include "QorString/Utf.h"
#include "TrackerSupport.h"
#include "Uploads.h"

using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;
using namespace std::chrono_literals;

namespace {

std::vector<std::wstring> TrackArguments(const std::string& url, const std::string& product, int count, int holdMs) {
    return {L"track", Core::WstringFromUtf8(url), Core::WstringFromUtf8(product), std::to_wstring(count),
            std::to_wstring(holdMs)};
}

// UNIQUE_ID -> how often it arrived, and which client sent it.
struct Received {
    std::map<std::string, int> counts;
    std::map<std::string, std::string> senders;
    std::size_t fromSource(const std::string& source) const {
        return static_cast<std::size_t>(std::count_if(senders.begin(), senders.end(), [&](const auto& entry) {
            return entry.second.rfind(source, 0) == 0;
        }));
    }
};

Received ReceivedEvents(const Testing::TestServer& server, const std::string& key) {
    Received received;
    for (const auto& request : Testing::Recorded(server, key)) {
        const std::string agent = request.at("headers").value("User-Agent", "");
        const auto body = nlohmann::json::parse(request.at("body").get<std::string>());
        for (const auto& event : body.at("events")) {
            const auto& params = event.at("params");
            const std::string id = params.at("UNIQUE_ID");
            ++received.counts[id];
            received.senders[id] = params.value("SOURCE", "tests") + " via " + agent;
        }
    }
    return received;
}

} // namespace

TEST(TrackerProcesses, EventsStoredWhileTheServerIsDownAreSentByALaterProcess) {
    Testing::TestServer server;
    const std::string key = Testing::UniqueKey("later");
    const std::string product = Testing::UniqueKey("TallivoTest-later");
    Testing::ProductFolderCleanup cleanup(product);
    server.script(key, Testing::kAccept);

    Testing::ChildProcess offline(Testing::TallivoHelper(), TrackArguments("http://127.0.0.1:1/stat", product, 7, 0));
    ASSERT_EQ(offline.wait(), 0);
    EXPECT_EQ(Testing::StoredEvents(product), 7u);

    auto tracker = Tracker::GetInstance();
    ASSERT_TRUE(tracker->Initialize(Testing::TrackerInit(server.httpUrl("/script/" + key), product)));
    ASSERT_TRUE(Testing::WaitFor([&] { return Testing::StoredEvents(product) == 0; }, 10s));
    tracker->Deinitialize();
    const Received received = ReceivedEvents(server, key);
    EXPECT_EQ(received.counts.size(), 7u);
    EXPECT_EQ(received.fromSource("helper via TallivoTest"), 7u);
}

TEST(TrackerProcesses, OneSenderForTwoProcessesAndEveryEventOnce) {
    Testing::TestServer server;
    const std::string key = Testing::UniqueKey("two");
    const std::string product = Testing::UniqueKey("TallivoTest-two");
    Testing::ProductFolderCleanup cleanup(product);
    server.script(key, Testing::kAccept);
    const std::string url = server.httpUrl("/script/" + key);

    // The helper starts first, so it holds the sending lock while it runs.
    Testing::ChildProcess helper(Testing::TallivoHelper(), TrackArguments(url, product, 25, 8000));
    ASSERT_TRUE(Testing::WaitFor([&] { return ReceivedEvents(server, key).counts.size() == 25; }, 10s));

    auto tracker = Tracker::GetInstance();
    ASSERT_TRUE(tracker->Initialize(Testing::TrackerInit(url, product)));
    for (int i = 0; i < 25; ++i) ASSERT_TRUE(tracker->TrackEvent("MINE", {{"N", std::to_string(i)}}));
    ASSERT_TRUE(Testing::WaitFor([&] { return ReceivedEvents(server, key).counts.size() == 50; }, 10s));
    EXPECT_EQ(helper.wait(), 0);
    tracker->Deinitialize();

    const Received received = ReceivedEvents(server, key);
    for (const auto& [id, count] : received.counts) EXPECT_EQ(count, 1) << id;
    // Ours went out through the helper's watcher while it held the lock.
    EXPECT_EQ(received.fromSource("tests via TallivoTestHelper"), 25u);
    EXPECT_EQ(received.fromSource("helper via TallivoTestHelper"), 25u);
    EXPECT_EQ(Testing::StoredEvents(product), 0u);
}

TEST(TrackerProcesses, LockIsTakenOverAfterTheHolderExits) {
    Testing::TestServer server;
    const std::string holderKey = Testing::UniqueKey("holder");
    const std::string key = Testing::UniqueKey("takeover");
    const std::string product = Testing::UniqueKey("TallivoTest-takeover");
    Testing::ProductFolderCleanup cleanup(product);
    // The holder's server turns its sending off; it keeps the lock until it exits.
    server.script(holderKey, R"([{"status":200,"body":{"success":false,"disabled":true}}])");
    server.script(key, Testing::kAccept);

    Testing::ChildProcess holder(Testing::TallivoHelper(),
                                 TrackArguments(server.httpUrl("/script/" + holderKey), product, 1, 2000));
    ASSERT_TRUE(Testing::WaitFor([&] { return Testing::Recorded(server, holderKey).size() == 1; }, 10s));
    auto tracker = Tracker::GetInstance();
    ASSERT_TRUE(tracker->Initialize(Testing::TrackerInit(server.httpUrl("/script/" + key), product)));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(tracker->TrackEvent("MINE", {}));
    EXPECT_EQ(holder.wait(), 0);
    const auto exited = std::chrono::steady_clock::now();
    // No directory change after the holder's exit: only the lock retry gets these out.
    ASSERT_TRUE(Testing::WaitFor([&] { return Testing::StoredEvents(product) == 0; }, 10s));
    EXPECT_LT(std::chrono::steady_clock::now() - exited, 7s);
    tracker->Deinitialize();
    EXPECT_EQ(ReceivedEvents(server, key).counts.size(), 4u);  // the holder's kept event too
}

TEST(TrackerProcesses, ExitWithoutDeinitializeEndsTheProcess) {
    Testing::TestServer server;
    const std::string key = Testing::UniqueKey("exit");
    const std::string product = Testing::UniqueKey("TallivoTest-exit");
    Testing::ProductFolderCleanup cleanup(product);
    server.script(key, R"([{"status":200,"delay":30000,"body":{"success":true,"disabled":false}}])");

    // The helper exits while its upload is in flight and its threads run.
    Testing::ChildProcess helper(Testing::TallivoHelper(),
                                 TrackArguments(server.httpUrl("/script/" + key), product, 3, -1500));
    EXPECT_EQ(helper.wait(15s), 0);
    EXPECT_EQ(Testing::StoredEvents(product), 3u);
}

TEST(TrackerProcesses, ExitWithoutDeinitializeStoresEveryQueuedEvent) {
    const std::string product = Testing::UniqueKey("TallivoTest-exitflush");
    Testing::ProductFolderCleanup cleanup(product);
    // Nothing is sent (no server): every tracked event must be on disk after the exit.
    Testing::ChildProcess helper(Testing::TallivoHelper(),
                                 TrackArguments("http://127.0.0.1:1/stat", product, 50, -1));
    EXPECT_EQ(helper.wait(30s), 0);
    // The one event being written when the exit came may be stored twice, never lost.
    std::set<std::string> ids;
    boost::system::error_code error;
    for (boost::filesystem::directory_iterator it(Testing::ProductFolder(product) / "EventsStorage", error), end;
         !error && it != end; it.increment(error)) {
        if (it->path().extension() != ".json") continue;
        std::ifstream file(it->path().wstring().c_str(), std::ios::binary);
        ids.insert(nlohmann::json::parse(file).at("params").at("UNIQUE_ID").get<std::string>());
    }
    EXPECT_EQ(ids.size(), 50u);
    EXPECT_LE(Testing::StoredEvents(product), 51u);
}
