// Statistics storage and sending throughput (run by tools/bench/tallivo-bench.sh; not a test).
// Usage: TallivoBench.exe store <folder> <events>
//          stores <events> events into an empty <folder>; prints events_per_second
//        TallivoBench.exe send <folder> <events> <url>
//          stores <events> events, then sends the backlog to <url> in batches of 10 the way the scheduler does
//          (pop, make the batch, post, delete on success); prints seconds
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "QorNetworking/Url.h"
#include "QorString/Utf.h"
#include "QorTime/Clock.h"
#include "QorVersion/Version.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"
#include "Tracking/Tallivo/Impl/Sender.h"
#include "Tracking/Tallivo/Impl/Storage.h"

using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;
using BenchClock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kBatchSize = 10;

Event MakeEvent(int index) {
    return Event("bench_event", {{"index", std::to_string(index)},
                                 {"product", "netsetter"},
                                 {"text", "a statistics event of a typical size, with a few parameters"}});
}

double Seconds(BenchClock::time_point start) {
    return std::chrono::duration<double>(BenchClock::now() - start).count();
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || (std::wcscmp(argv[1], L"send") == 0 && argc < 5)) {
        std::fprintf(stderr, "usage: TallivoBench.exe store|send <folder> <events> [url]\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const ioPath folder(argv[2]);
    const int events = std::stoi(argv[3]);

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

    const Sender sender(Networking::Url(Core::Utf8FromWstring(argv[4])), {"User-Agent", "Netsetter/2.0.0 (bench)"},
                        Networking::HttpVersion::Default);
    const ISender::StopCheck never = [] { return false; };
    int sent = 0;
    const auto sendStart = BenchClock::now();
    for (;;) {
        auto batch = storage->pop(kBatchSize);
        if (!batch) {
            std::fprintf(stderr, "the storage could not be read\n");
            return 1;
        }
        if (batch->get().empty()) break;
        const ISender::Response response = sender.send(serializer->makeBatch(batch->get()), never);
        if (response.kind != ISender::ResponseKind::Ok) {
            std::fprintf(stderr, "the server refused a batch (status %d)\n", static_cast<int>(response.status));
            return 1;
        }
        batch->commit();
        sent += static_cast<int>(batch->get().size());
    }
    const double sendSeconds = Seconds(sendStart);
    std::printf("events=%d sent=%d seconds=%.3f\n", events, sent, sendSeconds);
    return sent == events ? 0 : 1;
}
