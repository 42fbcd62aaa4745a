#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "QorFilesystem/DirectoryWatcher.h"
#include "testing/TempFolder.h"

using namespace Nolvar;

TEST(DirectoryWatcher, CallsBackWhenFilesComeAndGo) {
    Testing::TempFolder temp(L"tallivo-watch-Пользователь-");
    std::mutex mutex;
    std::condition_variable changed;
    int calls = 0;
    const auto waitForCall = [&](int atLeast) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return calls >= atLeast; });
    };

    auto watcher = Core::CreateDirectoryWatcherFactory()->create(ioPath(temp.path().wstring()), Core::WatchMode::AnyChange,
                                                                 [&] {
                                                                     std::lock_guard lock(mutex);
                                                                     ++calls;
                                                                     changed.notify_all();
                                                                 });
    Testing::WriteWholeFile(temp / L"событие.json", "{}");
    ASSERT_TRUE(waitForCall(1));

    int before = 0;
    {
        std::lock_guard lock(mutex);
        before = calls;
    }
    std::filesystem::remove(temp / L"событие.json");
    EXPECT_TRUE(waitForCall(before + 1));

    const auto start = std::chrono::steady_clock::now();
    watcher.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(DirectoryWatcher, MissingDirectoryIsAnError) {
    Testing::TempFolder temp;
    EXPECT_THROW(Core::CreateDirectoryWatcherFactory()->create(ioPath((temp / L"missing").wstring()),
                                                               Core::WatchMode::FileNames, [] {}),
                 std::system_error);
}
