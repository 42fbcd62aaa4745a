#include <windows.h>

#include <glog/logging.h>
#include <gtest/gtest.h>

#include "QorOS/SystemInfo.h"
#include "utils/Settings.h"
#include "testing/LogCapture.h"
#include "testing/TempFolder.h"
#include "utils/AppMutex.h"
#include "utils/SystemFacts.h"
#include "utils/TextUtils.h"

using namespace Nolvar;

TEST(SystemFacts, FreeDiskSpaceOfARealFolderAndOfAMissingDrive) {
    Testing::TempFolder folder;
    const auto free = GetFreeDiskSpace(ioPath(folder.path().wstring()));
    EXPECT_GT(free, 0u);
    EXPECT_NE(free, kUnknownDiskSpace);
    // Find a drive letter that does not exist.
    const DWORD drives = GetLogicalDrives();
    for (int letter = 25; letter >= 0; --letter) {
        if (drives & (1u << letter)) continue;
        const std::wstring path = std::wstring(1, static_cast<wchar_t>(L'A' + letter)) + L":\\folder";
        EXPECT_EQ(GetFreeDiskSpace(ioPath(path)), kUnknownDiskSpace);
        break;
    }
}

TEST(SystemFacts, OsTexts) {
    EXPECT_EQ(GetOsName(), "Windows");
    EXPECT_EQ(GetOsBits(), "64");
    const std::string edition = GetOsEdition();
    EXPECT_TRUE(edition == "Workstation" || edition == "Server" || edition == "Domain controller" || edition.empty());
    const std::string version = GetOsVersion();
    EXPECT_EQ(version, Core::Util::VersionToString(Core::GetSystemVersion(), 1, "."));
    EXPECT_GE(Core::GetSystemVersion().major, 6u);
}

TEST(SystemFacts, UserAgentPrefersTheProductVersion) {
    Settings::Set(Settings::ID::BrandName, std::any(std::string("nolvaria")));
    Settings::Set(Settings::ID::ProductId, std::any(std::string("netsetter")));
    Settings::Set(Settings::ID::InstallerVersion, std::any(std::string("2.0.0")));
    Settings::Set(Settings::ID::ProductVersion, std::any());
    EXPECT_EQ(MakeUserAgent(), "nolvaria netsetter 2.0.0 web");
    Settings::Set(Settings::ID::ProductVersion, std::any(std::string("7.1.3")));
    EXPECT_EQ(MakeUserAgentHeader(), "User-Agent: nolvaria netsetter 7.1.3 web");
    Settings::Set(Settings::ID::ProductVersion, std::any());
    Settings::Set(Settings::ID::InstallerVersion, std::any());
    EXPECT_EQ(MakeUserAgent(), "nolvaria netsetter 1.0.0.0 web");
    Settings::Set(Settings::ID::InstallerVersion, std::any(std::string("2.0.0")));
}

TEST(TextUtils, StringToBoolAndDashes) {
    for (const char* yes : {"true", "TRUE", "tRuE", "1"}) EXPECT_TRUE(StringToBool(yes)) << yes;
    for (const char* no : {" true", "true ", "yes", "0", "", "11", "on"}) EXPECT_FALSE(StringToBool(no)) << no;
    EXPECT_EQ(DashToUnderscore("en-US"), "en_US");
    EXPECT_EQ(DashToUnderscore("a-b-c"), "a_b-c");
    EXPECT_EQ(DashToUnderscore("none"), "none");
    EXPECT_EQ(JoinWithComma({"en-US", "", "ru-RU"}), "en-US, , ru-RU");
    EXPECT_EQ(JoinWithComma({}), "");
    EXPECT_EQ(ToWide(ToUtf8(L"Папка")), L"Папка");
}

TEST(AppMutex, OnlyOneOwnerAtATime) {
    const std::string name = "netsetter-test-mutex-" + std::to_string(GetCurrentProcessId());
    auto first = CreateAppMutex(name);
    EXPECT_TRUE(first->lock(0));
    bool otherOwned = true;
    std::thread([&] {
        auto second = CreateAppMutex(name);
        otherOwned = second->tryLock(0);
    }).join();
    EXPECT_FALSE(otherOwned);
    first->unlock();
    std::thread([&] {
        auto second = CreateAppMutex(name);
        otherOwned = second->tryLock(0);
    }).join();
    EXPECT_TRUE(otherOwned);
}

TEST(SystemFacts, FreeDiskSpaceLogsTheQuotedUtf8Path) {
    Testing::TempFolder folder(L"netsetter-Диск-");
    Testing::LogCapture log;
    GetFreeDiskSpace(ioPath(folder.path().wstring()));
    const std::string expected = "Path \"" + ToUtf8(folder.path().wstring()) + "\" has ";
    EXPECT_TRUE(log.contains(expected)) << log.text();
}
