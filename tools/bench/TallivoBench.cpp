// Statistics storage and sending throughput (run by tools/bench/tallivo-bench.sh; not a test).
// Usage: TallivoBench.exe store <folder> <events>
//          stores <events> events into an empty <folder>; prints events_per_second
//        TallivoBench.exe bare <folder> <events>
//          the bare Win32 file steps of storing (create, write, close, rename) as often, for reference
//        TallivoBench.exe send <folder> <events> <url>
//          stores <events> events, then lets a scheduler (lock, directory watcher, sender) send the backlog to
//          <url> in batches of 10; prints the seconds until the last batch is deleted
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "QorFilesystem/DirectoryWatcher.h"
#include "QorNetworking/Url.h"
#include "QorString/Utf.h"
#include "QorTime/Clock.h"
#include "QorVersion/Version.h"
#include "Tracking/Tallivo/Impl/FileLock.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"
#include "Tracking/Tallivo/Impl/Scheduler.h"
#include "Tracking/Tallivo/Impl/Sender.h"
#include "Tracking/Tallivo/Impl/Storage.h"

using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;
using BenchClock = std::chrono::steady_clock;

namespace {

// Counts the events of the batches committed (deleted after the server took them).
class CountingBatch : public ISerializedEvents {
public:
    CountingBatch(std::unique_ptr<ISerializedEvents> batch, std::atomic<int>& committed)
        : m_batch(std::move(batch)), m_committed(committed) {}
    const std::vector<std::string>& get() const override { return m_batch->get(); }
    bool commit() override {
        const bool complete = m_batch->commit();
        m_committed += static_cast<int>(m_batch->get().size());
        return complete;
    }
    bool setAside() override { return m_batch->setAside(); }

private:
    std::unique_ptr<ISerializedEvents> m_batch;
    std::atomic<int>& m_committed;
};

class CountingStorage : public Tracking::Instant::IStorage {
public:
    explicit CountingStorage(std::shared_ptr<Tracking::Instant::IStorage> storage) : m_storage(std::move(storage)) {}
    void push(const Event& event) override { m_storage->push(event); }
    std::unique_ptr<ISerializedEvents> pop(std::size_t maxCount) override {
        auto batch = m_storage->pop(maxCount);
        return batch ? std::make_unique<CountingBatch>(std::move(batch), committed) : nullptr;
    }
    std::int64_t getEventStorageTime() const override { return m_storage->getEventStorageTime(); }
    const ioPath& getDirectory() const override { return m_storage->getDirectory(); }
    std::atomic<int> committed{0};

private:
    std::shared_ptr<Tracking::Instant::IStorage> m_storage;
};

Event MakeEvent(int index) {
    return Event("bench_event", {{"HUID", "bench"}, {"PRODUCT_NAME", "Netsetter"}, {"index", std::to_string(index)},
                                 {"product", "netsetter"},
                                 {"text", "a statistics event of a typical size, with a few parameters"}});
}

// Creates, writes and renames `count` small files the plain Win32 way, under names as long as the storage's ids
// (a lookup under Wine reads every name in the folder); false on the first failure.
bool BareFileSteps(const ioPath& folder, int count) {
    CreateDirectoryW(folder.wstring().c_str(), nullptr);
    const std::string text = R"({"name":"bench_event","params":{"text":"a statistics event of a typical size"}})";
    for (int i = 0; i < count; ++i) {
        wchar_t name[32];
        std::swprintf(name, 32, L"%020d.json", i);
        const std::wstring final = (folder / name).wstring();
        const std::wstring temporary = final + L".tmp";
        HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const bool wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(file);
        if (!wrote || !MoveFileExW(temporary.c_str(), final.c_str(), 0)) return false;
    }
    return true;
}

double Seconds(BenchClock::time_point start) {
    return std::chrono::duration<double>(BenchClock::now() - start).count();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || (std::wcscmp(argv[1], L"send") == 0 && argc < 5)) {
        std::fprintf(stderr, "usage: TallivoBench.exe store|bare|send <folder> <events> [url]\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const ioPath folder(argv[2]);
    const int events = std::stoi(argv[3]);

    if (mode == L"bare") {
        const auto start = BenchClock::now();
        if (!BareFileSteps(folder, events)) {
            std::fprintf(stderr, "bare file steps failed: error %lu\n", GetLastError());
            return 1;
        }
        const double seconds = Seconds(start);
        std::printf("events=%d seconds=%.3f events_per_second=%.0f\n", events, seconds, events / seconds);
        return 0;
    }

    const auto clock = Time::ClockFactory().createSystemClock();
    const auto serializer = std::make_shared<JsonEventSerializer>(Core::Version{2, 0, 0, 0}, clock);
    const auto storage = std::make_shared<Storage>(serializer, std::make_shared<IdGenerator>(clock), clock, folder);

    const auto storeStart = BenchClock::now();
    for (int i = 0; i < events; ++i) storage->push(MakeEvent(i));
    const double storeSeconds = Seconds(storeStart);
    if (mode == L"store") {
        std::printf("events=%d seconds=%.3f events_per_second=%.0f\n", events, storeSeconds, events / storeSeconds);
        return 0;
    }

    const auto sender = std::make_shared<Sender>(Networking::Url(Core::Utf8FromWstring(argv[4])),
                                                 std::make_pair(std::string("User-Agent"), std::string("Netsetter/2.0.0 (bench)")),
                                                 Networking::HttpVersion::Default);
    const auto counting = std::make_shared<CountingStorage>(storage);
    const auto sendStart = BenchClock::now();
    auto scheduler = std::make_unique<Scheduler>(sender, serializer, counting, std::make_shared<FileLock>(folder),
                                                 Core::CreateDirectoryWatcherFactory(), false,
                                                 std::chrono::microseconds(5'000'000));
    // A server that refuses makes the scheduler back off: give up after a minute.
    while (counting->committed < events && Seconds(sendStart) < 60) Sleep(1);
    const int sent = counting->committed;
    const double sendSeconds = Seconds(sendStart);
    scheduler.reset();
    std::printf("events=%d sent=%d seconds=%.3f\n", events, sent, sendSeconds);
    return sent == events ? 0 : 1;
}
