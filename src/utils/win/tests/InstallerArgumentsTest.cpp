#include "utils/InstallerArguments.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QorFilesystem/Path.h"
#include "utils/Settings.h"

namespace {

using Nolvar::BuildInstallerArguments;
using Nolvar::Settings::ID;
using Args = std::vector<std::string>;

class InstallerArguments : public ::testing::Test {
protected:
    void SetUp() override {
        for (ID id : {ID::InstallFolder, ID::WebUid, ID::HardwareId, ID::PreferredBrowser})
            Nolvar::Settings::Set(id, std::any());
        Nolvar::Settings::Set(ID::Locale, std::string("en-US"));
    }
};

TEST_F(InstallerArguments, FolderLosesItsTrailingBackslashAndAnEqualWebUidIsLeftOut) {
    Nolvar::Settings::Set(ID::InstallFolder, Nolvar::Core::PathFromUtf8("C:\\Apps\\Product\\"));
    Nolvar::Settings::Set(ID::Locale, std::string("ru-RU"));
    Nolvar::Settings::Set(ID::WebUid, std::string("same"));
    Nolvar::Settings::Set(ID::HardwareId, std::string("same"));
    EXPECT_EQ(BuildInstallerArguments({"/S"}), (Args{"/S", "/D=C:\\Apps\\Product", "/LOCALE=ru_RU"}));
}

TEST_F(InstallerArguments, AllOptionalArgumentsFollowInTheirOrder) {
    Nolvar::Settings::Set(ID::InstallFolder, Nolvar::Core::PathFromUtf8("D:/Программы/Мой продукт"));
    Nolvar::Settings::Set(ID::WebUid, std::string("web-1"));
    Nolvar::Settings::Set(ID::HardwareId, std::string("machine-1"));
    Nolvar::Settings::Set(ID::PreferredBrowser, std::string("firefox"));
    EXPECT_EQ(BuildInstallerArguments({"/S", "/quiet", "/DISABLE_SHORTCUTS"}),
              (Args{"/S", "/quiet", "/DISABLE_SHORTCUTS", "/D=D:\\Программы\\Мой продукт", "/LOCALE=en_US",
                    "/WEBUID=web-1", "/NO_MERGE_WEBUIDS", "/PREFERRED_BROWSER=firefox"}));
}

TEST_F(InstallerArguments, UnsetFolderAndEmptyWebUidGiveTheBareMinimum) {
    Nolvar::Settings::Set(ID::HardwareId, std::string("machine-1"));
    EXPECT_EQ(BuildInstallerArguments({}), (Args{"/D=", "/LOCALE=en_US"}));
}

} // namespace
