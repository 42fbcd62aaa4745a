#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "installer/SignatureTagSettings.h"
#include "testing/LogCapture.h"
#include "utils/ProductInfo.h"
#include "utils/Settings.h"
#include "utils/SettingsInit.h"

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

void ApplyTag(const std::string& tag) { ApplySignatureTag({tag, ""}); }

// The process start-up road without a tag: Settings::Init over `argument`, then the tag step with nothing read.
void StartWithArgument(std::string argument) {
    std::string program = "installer.exe";
    char* argv[] = {program.data(), argument.data(), nullptr};
    Settings::Set(Settings::ID::WebUid, std::any());
    Settings::Init(2, argv);
    ApplySignatureTag({});
}

} // namespace

TEST(SignatureTagSettings, TagValuesWinAndTheFileNameFillsTheGaps) {
    Reset("C:\\Downloads\\SetupE_Wfromname42_.exe");
    ApplyTag(R"({"browser":"C","config_url":"https://config.example/release/config.json"})");
    EXPECT_EQ(Text(Settings::ID::PreferredBrowser), "chrome.exe");
    EXPECT_EQ(Text(Settings::ID::ConfigUrl), "https://config.example/release/config.json");
    EXPECT_EQ(Text(Settings::ID::WebUid), "fromname42");
}

TEST(SignatureTagSettings, AnUnusableOrUnreadableTagIsLoggedAndChangesNothing) {
    const std::vector<Core::SignatureTagReading> readings = {
        {R"([1])", ""}, {R"({})", ""}, {R"({"browser":"C","config_url":5})", ""}, {R"({"browser":)", ""},
        {"", "Cannot open the distribution file (error 32)"},
        {R"({"browser":"C"})", "The certificate table of the distribution file is cut short"}};
    for (const auto& reading : readings) {
        Reset("SetupE.exe");
        Testing::LogCapture log;
        ApplySignatureTag(reading);
        EXPECT_TRUE(log.contains("Failed to parse Signature Tag. " + reading.failure, google::GLOG_ERROR))
            << reading.tag << reading.failure;
        EXPECT_EQ(Text(Settings::ID::PreferredBrowser), "msedge.exe") << reading.tag;
        EXPECT_EQ(Text(Settings::ID::ConfigUrl), "http://127.0.0.1:9/command-line.json") << reading.tag;
        EXPECT_EQ(Text(Settings::ID::WebUid), "<unset>") << reading.tag;
    }
    Testing::LogCapture log;
    ApplyTag(R"([1])");
    EXPECT_TRUE(log.contains("Failed to parse Signature Tag. Cannot parse this tag as JSON", google::GLOG_ERROR));
}

// The signature tag takes exactly the texts the command line and the distribution file name take.
TEST(SignatureTagSettings, TheTagAndTheCommandLineTakeTheSameTexts) {
    struct Row {
        std::string text;
        bool usable;
    };
    const std::vector<Row> configUrls = {
        {"https://config.example/release/config.json", true},
        {"http://127.0.0.1:8080/config.json?webuid=a1&x=%20", true},
        {"HTTPS://CONFIG.EXAMPLE/config.json", true},
        {"https://[::1]:8443/config.json", true},
        {"file:///C:/Windows/config.json", false},
        {"ftp://config.example/config.json", false},
        {"javascript:alert(1)", false},
        {"http:///config.json", false},
        {"https://config.example/config.json\r\nHost: elsewhere.example", false},
        {"https://config.example/\x7f.json", false},
        {"https://config.example/a b.json", false},
        {"https://конфиг.example/config.json", false},
        {"//config.example/config.json", false},
        {"config.json", false},
    };
    for (const Row& row : configUrls) {
        Testing::LogCapture log;
        StartWithArgument("--config-url=" + row.text);
        const bool commandLineTook = Text(Settings::ID::ConfigUrl) == row.text;
        if (!commandLineTook) {
            EXPECT_EQ(Text(Settings::ID::ConfigUrl), Product::DefaultConfigUrl()) << row.text;
        }
        Settings::WarnAboutMalformedOptions();
        EXPECT_EQ(log.contains("Command-line option --config-url ", google::GLOG_WARNING), !row.usable) << row.text;

        Reset("SetupE.exe");
        ApplyTag(nlohmann::json{{"config_url", row.text}}.dump());
        const bool tagTook = Text(Settings::ID::ConfigUrl) == row.text;
        if (!tagTook) {
            EXPECT_EQ(Text(Settings::ID::ConfigUrl), "http://127.0.0.1:9/command-line.json") << row.text;
        }
        EXPECT_EQ(log.contains("Failed to parse Signature Tag. \"config_url\" ", google::GLOG_ERROR), !row.usable)
            << row.text;

        EXPECT_EQ(commandLineTook, row.usable) << row.text;
        EXPECT_EQ(tagTook, row.usable) << row.text;
    }

    // Web user ids: the distribution file name's "_W" token against the tag's "webuid".
    const std::vector<Row> webUids = {
        {"fromname42", true},   {"A1b2-C3d4-e5F6", true}, {std::string(64, '7'), true},
        {"short12", false},     {std::string(65, '7'), false}, {"has space1", false},
        {"semi;colon1", false}, {"dotted.id.1", false},  {"unicodeü123", false},
    };
    for (const Row& row : webUids) {
        StartWithArgument("--distrib-name=C:\\Downloads\\SetupE_W" + row.text + "_.exe");
        const bool fileNameTook = Text(Settings::ID::WebUid) == row.text;

        Reset("SetupE.exe");
        ApplyTag(nlohmann::json{{"webuid", row.text}}.dump());
        const bool tagTook = Text(Settings::ID::WebUid) == row.text;

        EXPECT_EQ(fileNameTook, row.usable) << row.text;
        EXPECT_EQ(tagTook, row.usable) << row.text;
    }
}
