#include <windows.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "TrackerSupport.h"
#include "Uploads.h"
#include "testing/TempFolder.h"

using namespace std::chrono_literals;

namespace {

std::filesystem::path ThisModuleFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

} // namespace

// A second copy of the library, unloaded while its pipeline runs: the unload returns at once and the pipeline
// goes on safely (its code stays loaded), storing every event and sending.
TEST(TallivoUnload, UnloadingTheLibraryWhileItsPipelineRunsIsSafe) {
    Testing::TempFolder temp(L"tallivo-unload-");
    const std::string product = Testing::UniqueKey("TallivoTest-unload");
    Testing::ProductFolderCleanup cleanup(product);
    const auto copy = temp / L"TallivoCopy.dll";
    std::filesystem::copy_file(ThisModuleFolder() / L"Tallivo.dll", copy);
    HMODULE module = LoadLibraryExW(copy.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module, nullptr) << GetLastError();
    using GetInstanceFunction = Nolvar::Tracking::IApplicationTracker* (*)();
    const auto getInstance =
        reinterpret_cast<GetInstanceFunction>(reinterpret_cast<void*>(GetProcAddress(module, "GetInstance")));
    ASSERT_NE(getInstance, nullptr);
    Nolvar::Tracking::IApplicationTracker* tracker = getInstance();
    Testing::TestServer server;
    const std::string key = Testing::UniqueKey("unload");
    server.script(key, R"([{"status":500}])");
    ASSERT_TRUE(tracker->Initialize(Testing::TrackerInit(server.httpUrl("/script/" + key), product)));
    constexpr int kEvents = 500;
    for (int i = 0; i < kEvents; ++i) ASSERT_TRUE(tracker->TrackEvent("UNLOAD", {{"N", std::to_string(i)}}));

    auto unloaded = std::async(std::launch::async, [module] { return FreeLibrary(module) != 0; });
    ASSERT_EQ(unloaded.wait_for(60s), std::future_status::ready) << "the unload hangs";
    EXPECT_TRUE(unloaded.get());
    // The sender backs off and tries again, running the library's code after the unload.
    ASSERT_TRUE(Testing::WaitFor([&] { return Testing::StoredEvents(product) == kEvents; }, 120s));
    const auto before = Testing::Recorded(server, key).size();
    EXPECT_TRUE(Testing::WaitFor([&] { return Testing::Recorded(server, key).size() > before; }, 30s));
    EXPECT_TRUE(tracker->Deinitialize());
}
