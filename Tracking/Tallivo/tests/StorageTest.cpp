#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "TallivoHelper.h"
#include "Uploads.h"
#include "FakeClock.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"
#include "Tracking/Tallivo/Impl/Storage.h"
#include "Tracking/Tallivo/Impl/StorageDirectory.h"
#include "testing/TempFolder.h"

namespace fs = boost::filesystem;
using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;

namespace {


// Ids the test chooses.
class ScriptedIds : public IIdGenerator {
public:
    explicit ScriptedIds(std::vector<std::string> ids) : m_ids(std::move(ids)) {}
    std::string generate() const override { return m_ids.at(m_next++); }

private:
    std::vector<std::string> m_ids;
    mutable std::size_t m_next = 0;
};

class StorageTest : public ::testing::Test {
protected:
    std::shared_ptr<Storage> makeStorage(std::shared_ptr<IIdGenerator> ids = nullptr) {
        if (!ids) ids = std::make_shared<IdGenerator>(clock);
        return std::make_shared<Storage>(serializer, ids, clock, directory);
    }

    std::vector<std::string> filesWith(const std::string& extension) const {
        std::vector<std::string> names;
        for (fs::directory_iterator it(directory), end; it != end; ++it) {
            if (it->path().extension() == extension) names.push_back(it->path().filename().string());
        }
        return names;
    }

    void writeEventFile(const std::string& name, const std::string& text, std::int64_t lastWrite = -1) {
        fs::create_directories(directory);
        Testing::WriteWholeFile(std::filesystem::path(directory.wstring()) / name, text);
        fs::last_write_time(directory / name, static_cast<std::time_t>(lastWrite < 0 ? kNow : lastWrite));
    }

    // Files the storage writes carry the real time.
    const std::int64_t kNow = std::time(nullptr);
    Testing::TempFolder temp{L"tallivo-storage-Пользователь-"};
    ioPath directory = ioPath(temp.path().wstring()) / L"Вендор" / L"EventsStorage";
    std::shared_ptr<Testing::FakeClock> clock = std::make_shared<Testing::FakeClock>(kNow);
    std::shared_ptr<ISerializer> serializer =
        std::make_shared<JsonEventSerializer>(Core::Version{2, 0, 0, 0}, clock);
};

Event NumberedEvent(int n) { return Event("E", {{"HUID", "h"}, {"PRODUCT_NAME", "P"}, {"N", std::to_string(n)}}); }

} // namespace

TEST_F(StorageTest, RoundTripThroughFilesInAUnicodeProfile) {
    auto storage = makeStorage();
    EXPECT_TRUE(fs::is_directory(directory));
    EXPECT_TRUE(storage->pop(10)->get().empty());

    const Event event("ЗАПУСК", {{"HUID", "h"}, {"PRODUCT_NAME", "Продукт"}});
    storage->push(event);
    ASSERT_EQ(filesWith(".json").size(), 1u);
    EXPECT_TRUE(filesWith(".tmp").empty());
    EXPECT_EQ(Testing::ReadWholeFile(std::filesystem::path(directory.wstring()) / filesWith(".json")[0]),
              serializer->serialize(event));

    auto batch = storage->pop(10);
    ASSERT_EQ(batch->get().size(), 1u);
    EXPECT_EQ(batch->get()[0], serializer->serialize(event));
    batch->commit();
    EXPECT_TRUE(filesWith(".json").empty());
    EXPECT_EQ(storage->getEventStorageTime(), 2592000);
}

TEST_F(StorageTest, BatchesHandOutEachFileOnceUntilRolledBack) {
    auto storage = makeStorage();
    for (int i = 0; i < 12; ++i) storage->push(NumberedEvent(i));

    auto first = storage->pop(10);
    auto second = storage->pop(10);
    ASSERT_EQ(first->get().size(), 10u);
    ASSERT_EQ(second->get().size(), 2u);
    std::set<std::string> all(first->get().begin(), first->get().end());
    all.insert(second->get().begin(), second->get().end());
    EXPECT_EQ(all.size(), 12u);
    EXPECT_TRUE(storage->pop(10)->get().empty());

    first.reset();  // not committed: available again
    auto again = storage->pop(10);
    EXPECT_EQ(again->get().size(), 10u);
    second->commit();
    EXPECT_EQ(filesWith(".json").size(), 10u);

    // A part goes its own way: set aside, committed or dropped, only its files follow.
    const std::vector<std::string> texts = again->get();
    auto part = again->takeFirst(4);
    EXPECT_EQ(part->get(), std::vector<std::string>(texts.begin(), texts.begin() + 4));
    EXPECT_EQ(again->get(), std::vector<std::string>(texts.begin() + 4, texts.end()));
    part->takeFirst(1)->setAside();
    part.reset();
    EXPECT_EQ(filesWith(".bad").size(), 1u);
    EXPECT_EQ(storage->pop(10)->get().size(), 3u);  // the dropped part's files are available again
    again->commit();
    EXPECT_EQ(filesWith(".json").size(), 3u);
    storage->pop(10)->commit();
    EXPECT_TRUE(filesWith(".json").empty());

    // A batch that outlives its storage does nothing.
    storage->push(NumberedEvent(99));
    auto orphan = storage->pop(10);
    storage.reset();
    orphan->commit();
    EXPECT_EQ(filesWith(".json").size(), 1u);
}

TEST_F(StorageTest, EventsStoredWhileABacklogDrainsGoOutOnceEach) {
    auto storage = makeStorage();
    for (int i = 0; i < 25; ++i) storage->push(NumberedEvent(i));
    std::multiset<std::string> numbers;
    const auto takeBatch = [&] {
        auto batch = storage->pop(10);
        for (const std::string& text : batch->get())
            numbers.insert(nlohmann::json::parse(text).at("params").at("N").get<std::string>());
        const std::size_t size = batch->get().size();
        batch->commit();
        return size;
    };
    EXPECT_EQ(takeBatch(), 10u);
    for (int i = 25; i < 32; ++i) storage->push(NumberedEvent(i));  // after the backlog was first read
    auto rolledBack = storage->pop(10);
    ASSERT_EQ(rolledBack->get().size(), 10u);
    rolledBack.reset();  // goes out again, first
    std::vector<std::size_t> sizes;
    while (const std::size_t size = takeBatch()) sizes.push_back(size);
    EXPECT_EQ(sizes, (std::vector<std::size_t>{10, 10, 2}));
    EXPECT_EQ(numbers.size(), 32u);
    EXPECT_EQ(std::set<std::string>(numbers.begin(), numbers.end()).size(), 32u);  // none twice
    EXPECT_TRUE(filesWith(".json").empty());
}

TEST_F(StorageTest, EventsAgeOutAfterThirtyDays) {
    auto storage = makeStorage();
    writeEventFile("old.json", R"({"name":"OLD"})", kNow - 2592001);
    writeEventFile("edge.json", R"({"name":"EDGE"})", kNow - 2592000);
    auto batch = storage->pop(10);
    ASSERT_EQ(batch->get().size(), 1u);
    EXPECT_EQ(batch->get()[0], R"({"name":"EDGE"})");
    EXPECT_EQ(filesWith(".json"), std::vector<std::string>{"edge.json"});
}

TEST_F(StorageTest, UnreadableFilesAreSetAsideAndNeverBlockTheOthers) {
    auto storage = makeStorage();
    fs::create_directories(directory / "sub.json");
    writeEventFile("a.json", "{not json");
    writeEventFile("b.json", "", kNow - 5);                 // may still be written: left alone
    writeEventFile("c.json", "", kNow - 61);                // never completed
    writeEventFile("d.txt", R"({"name":"TXT"})");
    writeEventFile("e.json.tmp", R"({"name":"TMP"})");
    writeEventFile("nolvaria_statistics", "");
    writeEventFile("f.json", R"({"name":"GOOD"})");

    auto batch = storage->pop(10);
    EXPECT_EQ(batch->get(), std::vector<std::string>{R"({"name":"GOOD"})"});
    std::vector<std::string> aside = filesWith(".bad");
    std::sort(aside.begin(), aside.end());
    EXPECT_EQ(aside, (std::vector<std::string>{"a.json.bad", "c.json.bad"}));
    EXPECT_TRUE(fs::exists(directory / "b.json"));
    EXPECT_TRUE(fs::exists(directory / "d.txt"));

    // Set-aside files go when they age out like events.
    clock->set(kNow + 2592001);
    storage->pop(10);
    EXPECT_TRUE(filesWith(".bad").empty());
}

TEST_F(StorageTest, HalfWrittenEventIsNeverHandedOutAndStaleOnesAreCleared) {
    // What a crash between write and rename leaves behind.
    writeEventFile("1.json.tmp", R"({"name":"HALF)", kNow - 61);
    writeEventFile("2.json.tmp", R"({"name":"BEING WRITTEN)", kNow - 5);
    {
        auto storage = makeStorage();
        EXPECT_TRUE(storage->pop(10)->get().empty());
    }
    EXPECT_EQ(filesWith(".tmp"), std::vector<std::string>{"2.json.tmp"});
    EXPECT_TRUE(filesWith(".json").empty());
}

TEST_F(StorageTest, AWriterKilledMidWayLeavesOnlyWholeEvents) {
    fs::create_directories(directory);
    {
        Testing::ChildProcess writer(Testing::TallivoHelper(), {L"push", directory.wstring(), L"100000"});
        ASSERT_TRUE(Testing::WaitFor([&] { return filesWith(".json").size() >= 20; }, std::chrono::seconds(20)));
        writer.terminate();
    }
    auto storage = makeStorage();
    std::size_t events = 0;
    for (auto batch = storage->pop(1000); !batch->get().empty(); batch = storage->pop(1000)) {
        for (const std::string& text : batch->get()) {
            const auto event = nlohmann::json::parse(text);
            EXPECT_EQ(event.at("name"), "HELPER_EVENT");
            ++events;
        }
        batch->commit();
    }
    EXPECT_GE(events, 20u);
    EXPECT_TRUE(filesWith(".bad").empty());
}

TEST_F(StorageTest, StoredFilesAreNeverOverwritten) {
    writeEventFile("1.json", R"({"name":"FIRST"})");
    writeEventFile("2.json.tmp", "in progress elsewhere");
    auto storage = makeStorage(std::make_shared<ScriptedIds>(std::vector<std::string>{"1", "2", "2", "3"}));
    const auto read = [&](const char* name) {
        return Testing::ReadWholeFile(std::filesystem::path(directory.wstring()) / name);
    };
    storage->push(NumberedEvent(1));  // final name taken: renamed to a new id
    storage->push(NumberedEvent(2));  // temporary name taken: written under a new id
    EXPECT_EQ(read("1.json"), R"({"name":"FIRST"})");
    EXPECT_EQ(read("2.json.tmp"), "in progress elsewhere");
    EXPECT_EQ(read("2.json"), serializer->serialize(NumberedEvent(1)));
    EXPECT_EQ(read("3.json"), serializer->serialize(NumberedEvent(2)));
    EXPECT_FALSE(fs::exists(directory / "1.json.tmp"));
}

TEST_F(StorageTest, IdsAreUniqueAcrossThreadsAndProcesses) {
    // Same tick for every id of this process.
    IdGenerator ids(clock);
    EXPECT_NE(ids.generate(), ids.generate());

    auto storage = makeStorage();
    constexpr int kPerWriter = 150;
    Testing::ChildProcess childA(Testing::TallivoHelper(), {L"push", directory.wstring(), std::to_wstring(kPerWriter)});
    Testing::ChildProcess childB(Testing::TallivoHelper(), {L"push", directory.wstring(), std::to_wstring(kPerWriter)});
    std::thread one([&] {
        for (int i = 0; i < kPerWriter; ++i) storage->push(NumberedEvent(i));
    });
    std::thread two([&] {
        for (int i = kPerWriter; i < 2 * kPerWriter; ++i) storage->push(NumberedEvent(i));
    });
    one.join();
    two.join();
    EXPECT_EQ(childA.wait(), 0);
    EXPECT_EQ(childB.wait(), 0);

    EXPECT_EQ(filesWith(".json").size(), 4u * kPerWriter);
    EXPECT_TRUE(filesWith(".tmp").empty());
    std::set<std::string> texts;
    for (auto batch = storage->pop(1000); !batch->get().empty(); batch = storage->pop(1000)) {
        texts.insert(batch->get().begin(), batch->get().end());
        batch->commit();
    }
    EXPECT_EQ(texts.size(), 4u * kPerWriter);
}

TEST(StorageDirectory, OnlyPlainFolderNamesAreAccepted) {
    const ioPath root = L"C:\\cache";
    EXPECT_EQ(MakeStorageDirectory(root, "Nolvaria", "Продукт 2"), root / L"Nolvaria" / L"Продукт 2" / L"EventsStorage");
    for (const std::string bad : {"", ".", "..", "a/b", "a\\b", "C:", "..\\x", "NUL", "con.txt", "LPT1", "com9.log",
                                  "a\x01z", "name.", "name ", "a*b", "a?b", "a|b", "a<b", "a\"b"}) {
        EXPECT_THROW(MakeStorageDirectory(root, bad, "P"), std::invalid_argument) << bad;
        EXPECT_THROW(MakeStorageDirectory(root, "V", bad), std::invalid_argument) << bad;
    }
    EXPECT_TRUE(IsPlainPathComponent("COM10"));
    EXPECT_TRUE(IsPlainPathComponent(".hidden"));
    EXPECT_TRUE(IsPlainPathComponent("Console"));
}
