#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include <thread>

#include "TallivoHelper.h"
#include "Tracking/Tallivo/Impl/FileLock.h"
#include "testing/TempFolder.h"

using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;

namespace {

// Waits until the helper wrote its ready file; its content, or empty after the time-out.
std::string WaitForReadyFile(const std::filesystem::path& file) {
    for (int i = 0; i < 300; ++i) {
        const std::string content = Testing::ReadWholeFile(file);
        if (!content.empty()) return content;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return {};
}

} // namespace

TEST(FileLock, OneHolderPerDirectoryWithinAProcess) {
    Testing::TempFolder temp(L"tallivo-lock-Пользователь-");
    const ioPath directory = ioPath(temp.path().wstring()) / L"нет" / L"EventsStorage";
    auto first = std::make_unique<FileLock>(directory);
    EXPECT_TRUE(boost::filesystem::exists(directory / L"nolvaria_statistics"));
    EXPECT_TRUE(first->tryLock());
    EXPECT_TRUE(first->tryLock());

    FileLock second(directory);
    EXPECT_FALSE(second.tryLock());
    first.reset();
    EXPECT_TRUE(second.tryLock());
    EXPECT_TRUE(boost::filesystem::exists(directory / L"nolvaria_statistics"));
}

TEST(FileLock, ExactlyOneOfTwoProcessesHoldsItUntilTheHolderDies) {
    Testing::TempFolder temp(L"tallivo-lock2-Пользователь-");
    const ioPath directory = ioPath(temp.path().wstring()) / L"EventsStorage";

    // The other process takes it first.
    auto holder = std::make_unique<Testing::ChildProcess>(
        Testing::TallivoHelper(),
        std::vector<std::wstring>{L"lock", directory.wstring(), (temp.path() / L"holder").wstring()});
    ASSERT_EQ(WaitForReadyFile(temp.path() / L"holder"), "1");
    FileLock ours(directory);
    EXPECT_FALSE(ours.tryLock());
    EXPECT_FALSE(ours.tryLock());

    // A third process does not get it either while we wait.
    Testing::ChildProcess third(Testing::TallivoHelper(),
                                {L"lock", directory.wstring(), (temp.path() / L"third").wstring()});
    EXPECT_EQ(WaitForReadyFile(temp.path() / L"third"), "0");
    third.terminate();

    holder->terminate();
    holder.reset();
    EXPECT_TRUE(ours.tryLock());

    // Now we hold it: a new process is refused.
    Testing::ChildProcess late(Testing::TallivoHelper(),
                               {L"lock", directory.wstring(), (temp.path() / L"late").wstring()});
    EXPECT_EQ(WaitForReadyFile(temp.path() / L"late"), "0");
}
