#pragma once
// A scheduler on a real storage folder, uploading to the test server: what the scheduler tests share.
#include <boost/filesystem/directory.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Tracking/Tallivo/Impl/FileLock.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"
#include "Tracking/Tallivo/Impl/Scheduler.h"
#include "Tracking/Tallivo/Impl/Sender.h"
#include "Tracking/Tallivo/Impl/Storage.h"
#include "Uploads.h"
#include "testing/TempFolder.h"

namespace SchedulerTesting {

using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;
using namespace std::chrono_literals;
namespace fs = boost::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kUnit = 10ms;  // one back-off second in these tests
constexpr std::chrono::seconds kGrace = Scheduler::kUploadGrace;

inline Event NumberedEvent(int n) {
    return Event("E", {{"HUID", "h"}, {"PRODUCT_NAME", "P"}, {"N", std::to_string(n)}});
}

class SchedulerTest : public ::testing::Test {
protected:
    std::unique_ptr<Scheduler> start(std::chrono::milliseconds unit = kUnit, bool preventSending = false,
                                     std::shared_ptr<IConcurrency> concurrency = nullptr,
                                     std::shared_ptr<Core::IDirectoryWatcherFactory> watchers =
                                         Core::CreateDirectoryWatcherFactory(),
                                     std::chrono::microseconds poll = 5s) {
        if (!concurrency) concurrency = std::make_shared<FileLock>(directory);
        return std::make_unique<Scheduler>(sender, serializer, storage, concurrency, watchers, preventSending, poll,
                                           unit);
    }

    void store(int count, int first = 0) {
        for (int i = first; i < first + count; ++i) storage->push(NumberedEvent(i));
    }

    std::size_t storedFiles() const {
        std::size_t count = 0;
        for (fs::directory_iterator it(directory), end; it != end; ++it) count += it->path().extension() == ".json";
        return count;
    }

    std::size_t requests() const { return Testing::Recorded(server, key).size(); }

    // Stores three events, lets their upload reach a server that accepts it after `delay`, then destroys the
    // scheduler; how long the destruction took.
    Clock::duration ShutDownDuringAnUploadAnsweredAfter(std::chrono::milliseconds delay) {
        server.script(key, nlohmann::json::array({{{"status", 200},
                                                   {"delay", delay.count()},
                                                   {"body", {{"success", true}, {"disabled", false}}}}})
                               .dump());
        store(3);
        auto scheduler = start();
        EXPECT_TRUE(Testing::WaitFor([&] { return requests() == 1; }, 5s));
        const auto begin = Clock::now();
        scheduler.reset();
        return Clock::now() - begin;
    }

    // Arrival times of the uploads, seconds.
    std::vector<double> arrivals() const {
        std::vector<double> times;
        for (const auto& request : Testing::Recorded(server, key)) times.push_back(request.at("time").get<double>());
        return times;
    }

    // Answers `status` to the first eight uploads, then takes every one.
    void refuseEightUploadsThenAccept(int status) {
        nlohmann::json answers = nlohmann::json::array();
        for (int i = 0; i < 8; ++i) answers.push_back({{"status", status}});
        answers.push_back({{"status", 200}, {"body", {{"success", true}, {"disabled", false}}}});
        server.script(key, answers.dump());
    }

    // The waits after the eight refusals grow 1, 2, 4 ... 120 steps of `unit`.
    void expectTheWaitsAfterEightRefusalsToGrow(std::chrono::milliseconds unit) const {
        const auto times = arrivals();
        ASSERT_GE(times.size(), 9u);
        for (std::size_t i = 0; i < 8; ++i) {
            const double step = std::chrono::duration<double>(unit).count() * std::min(1 << i, 120);
            EXPECT_GE(times[i + 1] - times[i], step - 0.002) << "wait " << i;
        }
    }

    Testing::TestServer server;
    std::string key = Testing::UniqueKey("scheduler");
    Testing::TempFolder temp{L"tallivo-scheduler-Пользователь-"};
    ioPath directory = ioPath(temp.path().wstring()) / L"EventsStorage";
    std::shared_ptr<Time::ISystemClock> clock = Time::ClockFactory().createSystemClock();
    std::shared_ptr<ISerializer> serializer = std::make_shared<JsonEventSerializer>(Core::Version{2, 0, 0, 0}, clock);
    std::shared_ptr<Storage> storage =
        std::make_shared<Storage>(serializer, std::make_shared<IdGenerator>(clock), clock, directory);
    std::shared_ptr<ISender> sender = std::make_shared<Sender>(
        Networking::Url(server.httpUrl("/script/" + key)), std::make_pair(std::string("User-Agent"), std::string("T")),
        Networking::HttpVersion::Default);
};

inline std::size_t FilesWithExtension(const ioPath& directory, const std::string& extension) {
    std::size_t count = 0;
    for (fs::directory_iterator it(directory), end; it != end; ++it) count += it->path().extension() == extension;
    return count;
}

// The "N" of every event in the stored files with the given extension.
inline std::multiset<std::string> StoredNumbers(const ioPath& directory, const std::string& extension) {
    std::multiset<std::string> numbers;
    for (fs::directory_iterator it(directory), end; it != end; ++it) {
        if (it->path().extension() != extension) continue;
        std::ifstream file(it->path().wstring().c_str(), std::ios::binary);
        numbers.insert(nlohmann::json::parse(file).at("params").at("N").get<std::string>());
    }
    return numbers;
}

} // namespace SchedulerTesting
