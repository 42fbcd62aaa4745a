#include <gtest/gtest.h>

#include "utils/Settings.h"
#include "utils/DistribName.h"

using namespace Nolvar;

namespace {
void SetDistribName(const std::string& name) { Settings::Set(Settings::ID::DistribName, std::any(name)); }
} // namespace

TEST(DistribName, TokensAndBrowserCodeOfTheFileNameOnly) {
    SetDistribName("C:\\SetupE_Wfolder_\\NetsetterSetupC_Wab12__STGqa_.exe");
    EXPECT_EQ(GetDistribFileName(), "NetsetterSetupC_Wab12__STGqa_.exe");
    EXPECT_EQ(GetDistribNameToken("_W"), "ab12");
    EXPECT_EQ(GetDistribNameToken("_STG"), "qa");
    EXPECT_EQ(FindSetupTagInDistribName(), std::make_pair(std::string("chrome.exe"), std::string("SetupC")));
}

TEST(DistribName, TokenWithoutClosingUnderscoreOrAtTheEndIsEmpty) {
    EXPECT_EQ(Detail::DistribNameToken("Netsetter_W12345.exe", "_W"), "");
    EXPECT_EQ(Detail::DistribNameToken("Netsetter_W", "_W"), "");
    EXPECT_EQ(Detail::DistribNameToken("Netsetter_W_x", "_W"), "");
    EXPECT_EQ(Detail::DistribNameToken("Netsetter.exe", "_W"), "");
    EXPECT_EQ(Detail::DistribNameToken("a_Wfirst__Wsecond_", "_W"), "first");
}

TEST(DistribName, BrowserCodesFollowTableOrderAndExactCase) {
    EXPECT_EQ(Detail::FindSetupTag("SetupE-SetupC.exe").first, "chrome.exe");
    EXPECT_EQ(Detail::FindSetupTag("setupc.exe").first, "");
    EXPECT_EQ(Detail::FindSetupTag("SetupZ.exe").second, "");
    EXPECT_EQ(GetBrowserForSetupTag("C"), "chrome.exe");
    EXPECT_EQ(GetBrowserForSetupTag("Y"), "browser.exe");
    EXPECT_EQ(GetBrowserForSetupTag("c"), "");
    EXPECT_EQ(GetBrowserForSetupTag("Z"), "");
    EXPECT_EQ(GetBrowserForSetupTag(""), "");
}

TEST(DistribName, MissingOrMalformedSettingGivesNoName) {
    Settings::Set(Settings::ID::DistribName, std::any(true));
    EXPECT_EQ(GetDistribFileName(), "");
    EXPECT_EQ(GetDistribNameToken("_W"), "");
    SetDistribName("");
    EXPECT_EQ(FindSetupTagInDistribName().first, "");
}
