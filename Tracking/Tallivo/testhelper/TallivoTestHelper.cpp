// Second process for the tracking library's tests.
//   push <directory> <count>        stores <count> events in the directory, exits 0
//   lock <directory> <ready file>   takes the directory's sending lock, writes "1" (held) or "0" into the ready
//                                   file, then waits to be terminated
//   track <url> <product> <count> <hold ms>
//                                   initialises the process tracker (vendor "NolvariaTest"), tracks <count>
//                                   events, keeps running <hold ms>, de-initialises, exits 0; a negative
//                                   hold waits as long and exits without de-initialising
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "QorTime/Clock.h"
#include "Tracking/Tallivo/Impl/FileLock.h"
#include "Tracking/Tallivo/Impl/IdGenerator.h"
#include "Tracking/Tallivo/Impl/JsonEventSerializer.h"
#include "Tracking/Tallivo/Impl/Storage.h"
#include "Tracking/Tallivo/Tracker.h"
#include "Tracking/Tallivo/tests/TrackerSupport.h"
#include "QorString/Utf.h"

using namespace Nolvar;
using namespace Nolvar::Tracking;
using namespace Nolvar::Tracking::Instant;

namespace {

int Push(const ioPath& directory, int count) {
    auto clock = Time::ClockFactory().createSystemClock();
    auto storage = std::make_shared<Storage>(std::make_shared<JsonEventSerializer>(Core::Version{2, 0, 0, 0}, clock),
                                             std::make_shared<IdGenerator>(clock), clock, directory);
    for (int i = 0; i < count; ++i) {
        storage->push(Event("HELPER_EVENT", {{"N", std::to_string(i)}, {"PID", std::to_string(GetCurrentProcessId())}}));
    }
    return 0;
}

int Lock(const ioPath& directory, const ioPath& readyFile) {
    FileLock lock(directory);
    const bool held = lock.tryLock();
    {
        std::ofstream ready(readyFile.wstring().c_str(), std::ios::binary);
        ready << (held ? "1" : "0");
    }
    Sleep(INFINITE);
    return 0;
}

int Track(const std::string& url, const std::string& product, int count, int holdMs) {
    auto tracker = Tracker::GetInstance();
    if (!tracker->Initialize(
            Testing::TrackerInit(url, product, "#PRODUCT_NAME=HelperApp#USER_ID=helper", "helper", "TallivoTestHelper")))
        return 3;
    for (int i = 0; i < count; ++i) {
        if (!tracker->TrackEvent("HELPER_EVENT", {{"N", std::to_string(i)}, {"SOURCE", "helper"}})) return 4;
    }
    if (holdMs < 0) {
        // Leaves with the pipeline running: the exit must still end the process.
        Sleep(static_cast<DWORD>(-holdMs));
        return 0;
    }
    Sleep(static_cast<DWORD>(holdMs));
    tracker->Deinitialize();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        const std::wstring command = argc > 1 ? argv[1] : L"";
        if (command == L"push" && argc == 4) return Push(ioPath(argv[2]), std::stoi(argv[3]));
        if (command == L"lock" && argc == 4) return Lock(ioPath(argv[2]), ioPath(argv[3]));
        if (command == L"track" && argc == 6) {
            return Track(Core::Utf8FromWstring(argv[2]), Core::Utf8FromWstring(argv[3]), std::stoi(argv[4]),
                         std::stoi(argv[5]));
        }
        std::fprintf(stderr, "unknown command\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
