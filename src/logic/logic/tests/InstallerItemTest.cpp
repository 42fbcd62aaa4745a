#include "logic/logic/InstallerItem.h"
#include "logic/logic/InstallerNames.h"

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QorString/Utf.h"
#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"
#include "utils/Settings.h"

namespace {

using Nolvar::InstallerItem;
using Nolvar::InstallerItems;
using Nolvar::ItemStatus;

// The exit state of the first finished report.
class FinishedState : public Nolvar::IInstallerExecutorObserver {
public:
    void OnInstallerStarted(const std::string&) override {}
    void OnInstallerFinished(const std::string&, std::int32_t exitState) override { m_state.set_value(exitState); }
    std::future<std::int32_t> state() { return m_state.get_future(); }

private:
    std::promise<std::int32_t> m_state;
};

InstallerItems MakeItems(std::vector<std::pair<std::string, int>> idsAndOrders) {
    InstallerItems items;
    for (auto& [id, order] : idsAndOrders) {
        InstallerItem item;
        item.id = id;
        item.installOrder = order;
        items.push_back(std::move(item));
    }
    return items;
}

TEST(InstallerItems, AnItemsInstallerGetsTheItemsArgumentsThenThoseFromTheSettings) {
    using Nolvar::Settings::ID;
    Testing::TempFolder temp(L"netsetter-item-Папка-");
    const std::filesystem::path installer = temp / L"Установщик продукта.exe";
    std::filesystem::copy_file(Testing::BesideSelf(L"FakeInstaller.exe"), installer);
    Nolvar::Settings::Set(ID::InstallFolder, Nolvar::Core::PathFromUtf8("C:/Program Files/Продукт \"Новый\"/"));
    Nolvar::Settings::Set(ID::Locale, std::string("ru-RU"));
    Nolvar::Settings::Set(ID::WebUid, std::string("web-1"));
    Nolvar::Settings::Set(ID::HardwareId, std::string("machine-1"));
    Nolvar::Settings::Set(ID::PreferredBrowser, std::string("edge"));
    InstallerItem item;
    item.id = "browser";
    item.targetPath = Nolvar::ioPath(installer.wstring());
    item.installArgs = {"/S", "/FAKE_EXIT=6"};

    FinishedState observer;
    auto finished = observer.state();
    auto executor = Nolvar::CreateInstallerExecutor(observer, item);
    executor->Start();
    ASSERT_EQ(finished.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_EQ(finished.get(), 6);
    const std::string path = Nolvar::Core::Utf8FromWstring(installer.wstring());
    EXPECT_EQ(Testing::ReadWholeFile(installer.wstring() + L".cmdline"),
              "\"" + path + "\" /S /FAKE_EXIT=6 \"/D=C:\\Program Files\\Продукт \"\"Новый\"\"\" /LOCALE=ru_RU "
              "/WEBUID=web-1 /NO_MERGE_WEBUIDS /PREFERRED_BROWSER=edge");
}

TEST(InstallerItems, LookupsFindTheFirstMatch) {
    InstallerItems items = MakeItems({{"a", 2}, {"b", 1}, {"a", 1}});
    EXPECT_EQ(Nolvar::FindItemById(items, "a"), items.begin());
    EXPECT_EQ(Nolvar::FindItemById(items, "A"), items.end());
    EXPECT_EQ(Nolvar::FindItemByInstallOrder(items, 1), items.begin() + 1);
    EXPECT_EQ(Nolvar::FindItemByInstallOrder(items, 3), items.end());
}

TEST(InstallerItems, SortingByInstallOrderKeepsTheOrderOfEqualOnes) {
    InstallerItems items = MakeItems({{"x", 3}, {"y", 1}, {"z", 3}, {"w", -1}, {"v", 1}});
    Nolvar::SortByInstallOrder(items);
    std::string order;
    for (const auto& item : items) order += item.id;
    EXPECT_EQ(order, "wyvxz");
}

TEST(InstallerItems, DisplayNameFallsBackToTheProductName) {
    Nolvar::Settings::Set(Nolvar::Settings::ID::ProductDisplayName, std::string("Netsetter Browser"));
    InstallerItem item;
    EXPECT_EQ(Nolvar::ItemDisplayName(item), "Netsetter Browser");
    item.displayName = "Own name";
    EXPECT_EQ(Nolvar::ItemDisplayName(item), "Own name");
}

TEST(InstallerNames, ExitStatesAndScreensHaveTheirStatisticsNames) {
    EXPECT_EQ(Nolvar::ExitStateName(0), "SUCCESS");
    EXPECT_EQ(Nolvar::ExitStateName(4), "PRODUCT_STARTED_ON_REINSTALL");
    EXPECT_EQ(Nolvar::ExitStateName(8), "INCORRECT_PATH");
    EXPECT_EQ(Nolvar::ExitStateName(9), "UNKNOWN");
    EXPECT_EQ(Nolvar::ExitStateName(-1), "UNKNOWN");

    using Nolvar::SplashScreen;
    for (int number = 1; number <= 7; ++number) {
        const auto screen = static_cast<SplashScreen>(number);
        EXPECT_EQ(Nolvar::ScreenFromName(Nolvar::ScreenName(screen)), screen);
    }
    EXPECT_EQ(Nolvar::ScreenName(SplashScreen::Progress), "PROGRESS");
    EXPECT_EQ(Nolvar::ScreenName(SplashScreen::None), "");
    EXPECT_EQ(Nolvar::ScreenName(static_cast<SplashScreen>(8)), "");
    EXPECT_EQ(Nolvar::ScreenFromName("start"), SplashScreen::None);
    EXPECT_EQ(Nolvar::ScreenFromName(""), SplashScreen::None);
    EXPECT_EQ(Nolvar::ImageTypeName(Nolvar::SplashImageType::Main), "START");
    EXPECT_EQ(Nolvar::ImageTypeName(Nolvar::SplashImageType::Slideshow), "PROGRESS");
}

} // namespace
