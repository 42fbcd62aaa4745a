#include <gtest/gtest.h>

#include "installer/SignatureTagSettings.h"
#include "testing/LogCapture.h"
#include "utils/Settings.h"

using namespace Nolvar;

namespace {

std::string Text(Settings::ID id) {
    const std::any value = Settings::Get(id);
    const auto* text = std::any_cast<std::string>(&value);
    return text ? *text : "<unset>";
}

void Reset(const std::string& distribName) {
    Settings::Set(Settings::ID::DistribName, std::any(distribName));
    Settings::Set(Settings::ID::ConfigUrl, std::any(std::string("http://127.0.0.1:9/command-line.json")));
    Settings::Set(Settings::ID::PreferredBrowser, std::any());
    Settings::Set(Settings::ID::WebUid, std::any());
}

} // namespace

TEST(SignatureTagSettings, TagValuesWinAndTheFileNameFillsTheGaps) {
    Reset("C:\\Downloads\\SetupE_Wfromname42_.exe");
    ApplySignatureTag(R"({"browser":"C","config_url":"https://config.example/release/config.json"})");
    EXPECT_EQ(Text(Settings::ID::PreferredBrowser), "chrome.exe");
    EXPECT_EQ(Text(Settings::ID::ConfigUrl), "https://config.example/release/config.json");
    EXPECT_EQ(Text(Settings::ID::WebUid), "fromname42");
}

TEST(SignatureTagSettings, AnUnusableTagIsLoggedAndChangesNothing) {
    for (const std::string tag : {R"([1])", R"({})", R"({"browser":"C","config_url":5})", R"({"config_url":"file:///c:/x"})",
                                  R"({"webuid":"../../x"})", R"({"browser":)"}) {
        Reset("SetupE.exe");
        Testing::LogCapture log;
        ApplySignatureTag(tag);
        EXPECT_TRUE(log.contains("Failed to parse Signature Tag. ", google::GLOG_ERROR)) << tag;
        EXPECT_EQ(Text(Settings::ID::PreferredBrowser), "msedge.exe") << tag;
        EXPECT_EQ(Text(Settings::ID::ConfigUrl), "http://127.0.0.1:9/command-line.json") << tag;
        EXPECT_EQ(Text(Settings::ID::WebUid), "<unset>") << tag;
    }
    Testing::LogCapture log;
    ApplySignatureTag(R"([1])");
    EXPECT_TRUE(log.contains("Failed to parse Signature Tag. Cannot parse this tag as JSON", google::GLOG_ERROR));
}
