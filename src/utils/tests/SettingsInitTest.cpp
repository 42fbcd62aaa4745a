#include <initializer_list>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "utils/Settings.h"
#include "utils/SettingsInit.h"

using namespace Nolvar;

namespace {

// Settings::Init over a fresh copy of the arguments (program name first).
void InitWith(std::initializer_list<std::string> arguments) {
    std::vector<std::string> storage{"installer.exe"};
    storage.insert(storage.end(), arguments);
    std::vector<char*> argv;
    for (auto& argument : storage) argv.push_back(argument.data());
    argv.push_back(nullptr);
    for (auto id : {Settings::ID::ConfigFile, Settings::ID::Debug, Settings::ID::DebugInfo, Settings::ID::LogPath,
                    Settings::ID::BuildName, Settings::ID::ModuleName})
        Settings::Set(id, std::any());
    Settings::Init(static_cast<int>(storage.size()), argv.data());
}

bool IsFlagTrue(Settings::ID id) {
    const std::any value = Settings::Get(id);
    return value.type() == typeid(bool) && std::any_cast<bool>(value);
}

} // namespace

TEST(SettingsInit, StartUpValuesCarryTheInstallerVersionIntoTheUserAgent) {
    InitWith({});
    EXPECT_EQ(Settings::GetString(Settings::ID::BrandName, ""), "nolvaria");
    EXPECT_EQ(Settings::GetString(Settings::ID::InstallerVersion, ""), "2.0.0");
    EXPECT_EQ(Settings::GetString(Settings::ID::UserAgentHeader, ""), "User-Agent: nolvaria netsetter 2.0.0 web");
    EXPECT_EQ(Settings::GetString(Settings::ID::OsBits, ""), "64");
    EXPECT_EQ(Settings::GetString(Settings::ID::OsNameVersion, "").rfind("Windows", 0), 0u);
    EXPECT_EQ(Settings::GetString(Settings::ID::HardwareId, "").size(), 36u);
    EXPECT_EQ(Settings::GetString(Settings::ID::StagingToken, "?"), "");
    EXPECT_EQ(Settings::GetString(Settings::ID::DistribName, "?"), "");
    EXPECT_FALSE(Settings::GetString(Settings::ID::ConfigUrl, "").empty());
}

TEST(SettingsInit, CommandLineTable) {
    InitWith({"--debug", "--debug-info=", "--log-path=C:\\logs\\a=b", "--build-name=one", "--build-name=two",
              "--Config-file=x", "-module-name=x", "--debugger", "positional", "--module-name"});
    EXPECT_TRUE(IsFlagTrue(Settings::ID::Debug));
    EXPECT_FALSE(Settings::Get(Settings::ID::DebugInfo).has_value());  // an empty value counts as absent
    EXPECT_EQ(Settings::GetString(Settings::ID::LogPath, ""), "C:\\logs\\a=b");
    EXPECT_EQ(Settings::GetString(Settings::ID::BuildName, ""), "two");
    EXPECT_FALSE(Settings::Get(Settings::ID::ConfigFile).has_value());
    EXPECT_TRUE(IsFlagTrue(Settings::ID::ModuleName)); // stored as the Part says...
    EXPECT_EQ(Settings::GetTextOption(Settings::ID::ModuleName), std::nullopt); // ...and read as unset
    EXPECT_EQ(Settings::GetTextOption(Settings::ID::LogPath), std::optional<std::string>("C:\\logs\\a=b"));
}

TEST(SettingsInit, OptionsInTheWrongFormAreReadSafely) {
    InitWith({"--log-path", "--distrib-name", "--debug=1", "--debug-info=no"});
    EXPECT_EQ(Settings::GetTextOption(Settings::ID::LogPath), std::nullopt);
    EXPECT_EQ(Settings::GetText(Settings::ID::LogPath, "fallback"), "fallback");
    EXPECT_EQ(Settings::GetText(Settings::ID::LogPath), "");
    EXPECT_TRUE(Settings::GetFlagOption(Settings::ID::Debug));
    EXPECT_FALSE(Settings::GetFlagOption(Settings::ID::DebugInfo));
    EXPECT_FALSE(Settings::GetFlagOption(Settings::ID::TestingCrash));
    EXPECT_EQ(Settings::GetString(Settings::ID::StagingToken, "?"), ""); // a flag as file name names no file
    EXPECT_NO_THROW(Settings::WarnAboutMalformedOptions());
}

TEST(SettingsInit, StagingTokenComesFromTheDistributionFileName) {
    InitWith({"--distrib-name=C:\\Downloads\\_STGqa_\\NetsetterSetupC_Wab12__STGbeta7_.exe"});
    EXPECT_EQ(Settings::GetString(Settings::ID::StagingToken, ""), "beta7");
    InitWith({});
    EXPECT_EQ(Settings::GetString(Settings::ID::StagingToken, "?"), "");
}
