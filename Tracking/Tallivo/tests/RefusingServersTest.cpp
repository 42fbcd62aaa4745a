// The refusal judge against servers that refuse good events: one refusing uploads at random (seeded), and a rate
// limiter answering 403 to an upload that comes within a second of the previous one. Every time of a scenario is
// kScale times shorter than in the product: the back-off unit, the poll interval, the limiter's second and the
// times events are put.
#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <thread>

#include "SchedulerFixture.h"

using namespace SchedulerTesting;

namespace {

constexpr int kScale = 10;
constexpr int kStoredBefore = 20;  // left on disk by earlier runs
constexpr int kPut = 60;           // put one every two seconds while the server refuses
constexpr std::chrono::seconds kPutEvery{2};

const nlohmann::json kTaken = {{"status", 200}, {"body", {{"success", true}, {"disabled", false}}}};
const nlohmann::json kRefused = {{"status", 403}};

constexpr std::chrono::milliseconds Scaled(std::chrono::milliseconds productTime) { return productTime / kScale; }

// Answers in order, each a refusal with the chance `share`, drawn from a generator seeded with `seed`.
nlohmann::json RandomAnswers(double share, unsigned seed) {
    std::mt19937 generator(seed);
    std::bernoulli_distribution refuse(share);
    nlohmann::json answers = nlohmann::json::array();
    for (int i = 0; i < 5000; ++i) answers.push_back(refuse(generator) ? kRefused : kTaken);
    return answers;
}

class RefusingServersTest : public SchedulerTest {
protected:
    struct Tally {
        std::size_t uploads = 0;
        std::size_t delivered = 0;  // events the server took
        std::size_t again = 0;      // takes of an event taken before
        std::size_t waiting = 0;
        std::size_t setAside = 0;
    };

    Tally tally() const {
        Tally tally;
        std::multiset<std::string> taken;
        for (const auto& request : Testing::Recorded(server, key)) {
            ++tally.uploads;
            if (request.at("status") != 200) continue;
            const auto body = nlohmann::json::parse(request.at("body").get<std::string>());
            for (const auto& event : body.at("events")) taken.insert(event.at("params").at("N").get<std::string>());
        }
        tally.delivered = std::set<std::string>(taken.begin(), taken.end()).size();
        tally.again = taken.size() - tally.delivered;
        tally.waiting = storedFiles();
        tally.setAside = FilesWithExtension(directory, ".bad");
        return tally;
    }

    static void report(const std::string& when, const Tally& tally) {
        std::cout << when << ": made " << kStoredBefore + kPut << ", delivered " << tally.delivered << ", waiting "
                  << tally.waiting << ", set aside " << tally.setAside << " (" << tally.uploads << " uploads)"
                  << std::endl;
    }

    // Events left by earlier runs, and events put one every two seconds for two minutes while the server answers
    // with `answers`; then, when it `behaves`, the server takes everything. Every event arrives, once, and none is
    // set aside.
    void deliverEverything(const nlohmann::json& answers, const std::string& scenario, bool behaves) {
        server.script(key, answers.dump());
        store(kStoredBefore);
        auto scheduler = start(Scaled(1s), false, nullptr, Core::CreateDirectoryWatcherFactory(), Scaled(5s));
        const auto begin = Clock::now();
        for (int i = 0; i < kPut; ++i) {
            std::this_thread::sleep_until(begin + Scaled(i * kPutEvery));
            scheduler->put(NumberedEvent(kStoredBefore + i));
        }
        std::this_thread::sleep_until(begin + Scaled(kPut * kPutEvery));
        report(scenario + " after two minutes", tally());
        if (behaves) server.script(key, nlohmann::json::array({kTaken}).dump());
        EXPECT_TRUE(Testing::WaitFor([&] { return storedFiles() == 0; }, 150s));
        const Tally end = tally();
        report(scenario + (behaves ? " once the server behaves" : " at the end"), end);
        EXPECT_EQ(end.delivered, static_cast<std::size_t>(kStoredBefore + kPut));
        EXPECT_EQ(end.again, 0u);
        EXPECT_EQ(end.setAside, 0u);
    }
};

} // namespace

TEST_F(RefusingServersTest, HalfTheUploadsRefusedAtRandomLoseNoEvent) {
    deliverEverything(RandomAnswers(0.5, 41), "refusing 50 % at random", true);
}

TEST_F(RefusingServersTest, NineInTenUploadsRefusedAtRandomLoseNoEvent) {
    deliverEverything(RandomAnswers(0.9, 41), "refusing 90 % at random", true);
}

TEST_F(RefusingServersTest, ARateLimiterAnswering403LosesNoEvent) {
    const nlohmann::json limiter = {
        {"if_within", std::chrono::duration<double>(Scaled(1s)).count()}, {"then", kRefused}, {"else", kTaken}};
    deliverEverything(nlohmann::json::array({limiter}), "403 within a second of the previous upload", false);
}
