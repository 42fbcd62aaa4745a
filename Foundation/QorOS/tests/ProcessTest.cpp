#include <windows.h>

#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "QorOS/AppMutexLocker.h"
#include "QorOS/Process.h"
#include "QorOS/SystemInfo.h"
#include "QorString/Utf.h"
#include "testing/ChildProcess.h"

using namespace Nolvar;

TEST(Process, RunningProcessesAreFoundByExecutableName) {
    const std::filesystem::path self = Testing::SelfPath();
    const std::string name = Core::Utf8FromWstring(self.filename().wstring());
    EXPECT_TRUE(Core::IsProcessRunning(name, ""));
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(Core::IsProcessRunning(upper, ""));
    EXPECT_TRUE(Core::IsProcessRunning(name, Core::Utf8FromWstring(self.parent_path().wstring())));
    EXPECT_FALSE(Core::IsProcessRunning(name, "C:\\no\\such\\folder"));
    EXPECT_FALSE(Core::IsProcessRunning("netsetter-no-such-program.exe", ""));
    EXPECT_FALSE(Core::IsProcessRunning("", ""));
    EXPECT_FALSE(Core::BringProcessToFront()); // no other copy of this program runs
}

TEST(SystemInfo, TextsDescribeTheRunningSystem) {
    const Core::Version version = Core::GetSystemVersion();
    EXPECT_GE(version.major, 6u);
    EXPECT_EQ(Core::SystemName(), "Windows");
    EXPECT_EQ(Core::SystemVersion("-"), std::to_string(version.major) + "-" + std::to_string(version.minor) + "-" +
                                            std::to_string(version.build));
    EXPECT_EQ(Core::AppBits(), "64");
    EXPECT_EQ(Core::ProcessorArchitecture(), "x64");
}

TEST(AppMutexLocker, OwnershipIsExclusiveAndReleased) {
    const std::string name = "netsetter-locker-" + std::to_string(GetCurrentProcessId());
    Util::AppMutexLocker first(name);
    EXPECT_TRUE(first.acquire(0));
    EXPECT_TRUE(first.acquire(0));
    bool other = true;
    std::thread([&] { other = Util::AppMutexLocker(name).acquire(50); }).join();
    EXPECT_FALSE(other);
    first.release();
    std::thread([&] { other = Util::AppMutexLocker(name).acquire(0); }).join();
    EXPECT_TRUE(other);
}
