#include <algorithm>
#include <chrono>
#include <memory>
#include <random>

#include <gtest/gtest.h>

#include "logic/logic/ConfigFormat.h"
#include "logic/logic/ConfigParser.h"
#include "logic/logic/tests/ConfigTestSupport.h"
#include "testing/LogCapture.h"
#include "testing/TempFolder.h"
#include "utils/Settings.h"
#include "utils/UrlUtils.h"

using namespace Nolvar;
using namespace ConfigTest;
using json = nlohmann::json;

namespace {

json Item(const std::string& value) { return json{{"Values", json::array()}, {"DefaultValue", value}}; }

// Parses `downloaded` (falling back to the real built-in configuration) and returns the result.
bool ParseDownloaded(Recorder& recorder, const std::string& downloaded, std::string builtIn = BuiltInText()) {
    ConfigParser parser(recorder, std::make_shared<TextProvider>(downloaded, std::move(builtIn)));
    return parser.ParseConfig();
}

// The calls the built-in configuration makes after a fall-back.
const std::vector<std::string> kBuiltInCalls = {
    "installer netsetter",
    "splash 1 https://cdn.netsetter.example/release/splash/welcome.png",
    "splash 4 https://cdn.netsetter.example/release/splash/progress.png",
    "splash 5 https://cdn.netsetter.example/release/splash/wait.png",
    "splash 6 https://cdn.netsetter.example/release/splash/welcome.png",
    "statistics https://stats.netsetter.example/api/events/5e8d0c3a9f21467b8c4de0a1f7b3962c "
    "5e8d0c3a9f21467b8c4de0a1f7b3962c netsetter-installer",
    "loaded ",
    "parsed",
};

class ConfigParserTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto id : {Settings::ID::ProductVersion, Settings::ID::BuildName, Settings::ID::ModuleName,
                        Settings::ID::ConfigName, Settings::ID::TestingCrash, Settings::ID::BundleName,
                        Settings::ID::StagingToken})
            Settings::Set(id, std::any());
        Settings::Set(Settings::ID::BrandName, std::any(std::string("nolvaria")));
        Settings::Set(Settings::ID::ProductId, std::any(std::string("netsetter")));
        Settings::Set(Settings::ID::InstallerVersion, std::any(std::string("2.0.0")));
    }
};

} // namespace

TEST_F(ConfigParserTest, TheBuiltInConfigurationIsAcceptedFromTheExecutable) {
    Testing::TempFolder folder;
    Recorder recorder;
    ConfigParser parser(recorder, ioPath((folder / L"config.json").wstring())); // no file: real provider
    EXPECT_TRUE(parser.ParseDefaultConfig());
    EXPECT_EQ(recorder.calls, kBuiltInCalls);
    EXPECT_EQ(Settings::GetString(Settings::ID::ConfigName, ""), "CONFIG_FROM_INSTALLER");
    EXPECT_EQ(Settings::GetString(Settings::ID::ProductVersion, ""), "2.0.0");
    ASSERT_EQ(recorder.items.size(), 1u);
    const InstallerItem& item = recorder.items[0];
    EXPECT_EQ(item.installArgs, (std::vector<std::string>{"/S", "/APP_LAUNCH_METHOD=Auto"}));
    EXPECT_EQ(item.installOrder, 0);
    EXPECT_EQ(item.searchKeys.size(), 2u);
    EXPECT_TRUE(item.checkAppRunning);
    EXPECT_FALSE(item.autodetectArch);
    // A missing config.json falls back too.
    Recorder fallback;
    ConfigParser second(fallback, ioPath((folder / L"config.json").wstring()));
    EXPECT_TRUE(second.ParseConfig());
    EXPECT_EQ(fallback.calls.front(), "invalid ");
}

TEST_F(ConfigParserTest, ComparisonWithTheBuiltInConfiguration) {
    Recorder same;
    EXPECT_TRUE(ParseDownloaded(same, BuiltInText()));
    EXPECT_EQ(same.calls, kBuiltInCalls);

    json changed = BuiltIn();
    changed["data"]["Splash"]["wait"]["DefaultValue"] = "https://cdn.netsetter.example/release/splash/other.png";
    Recorder recorder;
    EXPECT_TRUE(ParseDownloaded(recorder, changed.dump()));
    EXPECT_TRUE(recorder.has("loaded [3 ]"));
    EXPECT_FALSE(recorder.has("invalid "));

    json added = BuiltIn();
    added["data"]["Product"]["build_name"] = Item("nightly");
    added["data"]["Future"] = json::object();
    Recorder extra;
    EXPECT_TRUE(ParseDownloaded(extra, added.dump()));
    EXPECT_TRUE(extra.has("loaded "));
    EXPECT_EQ(Settings::GetString(Settings::ID::BuildName, ""), "nightly");

    json dropped = BuiltIn();
    dropped["data"]["Installers"][0].erase("uninstall_args");
    Recorder lacking;
    EXPECT_TRUE(ParseDownloaded(lacking, dropped.dump()));
    EXPECT_TRUE(lacking.has("loaded [3 ]"));

    // An unusable built-in text does not reject the downloaded document; it counts as changed.
    Recorder brokenBuiltIn;
    EXPECT_TRUE(ParseDownloaded(brokenBuiltIn, BuiltInText(), "[1]"));
    EXPECT_TRUE(brokenBuiltIn.has("loaded [3 ]"));
    // Without a built-in text there is no comparison.
    Recorder noBuiltIn;
    EXPECT_TRUE(ParseDownloaded(noBuiltIn, changed.dump(), ""));
    EXPECT_TRUE(noBuiltIn.has("loaded "));
}

TEST_F(ConfigParserTest, RejectedDocumentsFallBackWithTheirErrors) {
    struct Case {
        std::function<void(json&)> edit;
        std::string invalid;
    };
    const std::vector<Case> cases = {
        {[](json& d) { d["data"].erase("Statistics"); }, "invalid [1  Statistics]"},
        {[](json& d) { d.erase("data"); }, "invalid [1  data]"},
        {[](json& d) { d["data"]["Installers"] = json::object(); }, "invalid [2 Installers id]"},
        {[](json& d) { d["data"]["Installers"][0].erase("install_args"); }, "invalid [2 Installers install_args]"},
        {[](json& d) { d["data"]["Splash"]["wait"]["DefaultValue"] = ""; }, "invalid [2 Splash wait]"},
        {[](json& d) { d["data"]["Product"]["version"] = json::object(); }, "invalid [2 Product version]"},
        {[](json& d) { d["data"]["Statistics"]["id"].erase("DefaultValue"); }, "invalid [2 Statistics id]"},
        {[](json& d) { d["data"]["Installers"][0]["url"]["DefaultValue"] = "https://cdn.example/Setup.EXE"; }, "invalid "},
        {[](json& d) { d["data"]["Installers"][0]["url"]["DefaultValue"] = "https://cdn.example/setup.msi"; }, "invalid "},
        // Values of the wrong type and URLs that cannot be parsed are rejected before anything is written.
        {[](json& d) { d["data"]["Splash"]["start"]["DefaultValue"] = 5; }, "invalid "},
        {[](json& d) { d["data"]["Product"]["build_name"] = json{{"DefaultValue", nullptr}}; }, "invalid "},
        {[](json& d) { d["data"]["Installers"][0]["display_name"] = json{{"DefaultValue", true}}; }, "invalid "},
        {[](json& d) { d["configname"] = 12; }, "invalid "},
        {[](json& d) { d["data"]["Testing"] = json::array({"crash"}); }, "invalid "},
        {[](json& d) { d["data"]["Installers"][0]["url"]["DefaultValue"] = "http://bad host/setup.exe"; }, "invalid "},
        // A missing section or key is reported also when the document has a type error as well.
        {[](json& d) {
             d["data"]["Installers"][0]["display_name"] = json{{"DefaultValue", true}};
             d["data"].erase("Statistics");
         },
         "invalid [1  Statistics]"},
        {[](json& d) {
             d["configname"] = 12;
             d["data"]["Splash"]["wait"]["DefaultValue"] = "";
         },
         "invalid [2 Splash wait]"},
        {[](json& d) { d["data"]["Installers"] = "setup.exe"; }, "invalid [2 Installers id]"},
    };
    for (const Case& c : cases) {
        json document = BuiltIn();
        document["configname"] = "DOWNLOADED";
        document["data"]["Product"]["version"]["DefaultValue"] = "9.9.9";
        c.edit(document);
        Settings::Set(Settings::ID::ProductVersion, std::any());
        Recorder recorder;
        EXPECT_TRUE(ParseDownloaded(recorder, document.dump())) << c.invalid;
        std::vector<std::string> expected{c.invalid};
        expected.insert(expected.end(), kBuiltInCalls.begin(), kBuiltInCalls.end());
        EXPECT_EQ(recorder.calls, expected) << document.dump();
        EXPECT_EQ(Settings::GetString(Settings::ID::ConfigName, ""), "CONFIG_FROM_INSTALLER");
        EXPECT_EQ(Settings::GetString(Settings::ID::ProductVersion, ""), "2.0.0");
    }
    for (const std::string text : {"", "not json", "[]", "{}", "{\"data\": 1", "\"text\""}) {
        Recorder recorder;
        EXPECT_TRUE(ParseDownloaded(recorder, text));
        EXPECT_EQ(recorder.calls.front(), "invalid ") << text;
        EXPECT_EQ(recorder.calls.size(), kBuiltInCalls.size() + 1);
    }
}

TEST_F(ConfigParserTest, BothDocumentsRejected) {
    json broken = BuiltIn();
    broken["data"]["Splash"]["start"]["DefaultValue"] = 1;
    Recorder recorder;
    EXPECT_FALSE(ParseDownloaded(recorder, "{", broken.dump()));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{"invalid ", "default failed"}));
    Recorder missing;
    ConfigParser parser(missing, std::make_shared<TextProvider>("", ""));
    EXPECT_FALSE(parser.ParseDefaultConfig());
    EXPECT_EQ(missing.calls, (std::vector<std::string>{"default failed"}));
}

TEST_F(ConfigParserTest, ReadingFollowsSectionOrderAndKeepsTheUserAgentCurrent) {
    json document = BuiltIn();
    document["configname"] = "SPRING";
    document["data"]["Product"]["version"]["DefaultValue"] = "7.1";
    document["data"]["Product"]["build_name"] = Item("");
    document["data"]["Product"]["module_name"] = Item("netsetter-mod");
    json second = document["data"]["Installers"][0];
    second["id"] = Item("second");
    second["install_order"] = Item("  12abc");
    second["install_args"] = Item("/A  /B");
    second["suppress_desktop_shortcuts"] = Item("TRUE");
    second["display_name"] = Item("Second Product");
    second["check_app_running"] = Item("no");
    second["autodetect_arch"] = Item("1");
    document["data"]["Installers"][0]["install_order"] = Item("first");
    document["data"]["Installers"].push_back(second);
    document["data"]["MacSpecific"] = {{"BUNDLE_NAME", Item("bundle-a")}, {"PLATFORM_TYPE", Item("")}};
    document["data"]["Testing"] = {{"crash", json::object()}};
    document["data"]["Unheard"] = json::object();
    Settings::Set(Settings::ID::StagingToken, std::any(std::string("qa")));
    Settings::Set(Settings::ID::BuildName, std::any(std::string("from-command-line")));

    Recorder recorder;
    EXPECT_TRUE(ParseDownloaded(recorder, document.dump()));
    Settings::Set(Settings::ID::StagingToken, std::any(std::string()));
    const std::vector<std::string> expected = {
        "name SPRING",
        "installer netsetter",
        "installer second",
        "splash 1 https://cdn.netsetter.example/staging/qa/splash/welcome.png",
        "splash 4 https://cdn.netsetter.example/staging/qa/splash/progress.png",
        "splash 5 https://cdn.netsetter.example/staging/qa/splash/wait.png",
        "splash 6 https://cdn.netsetter.example/staging/qa/splash/welcome.png",
        "statistics https://stats.netsetter.example/api/events/5e8d0c3a9f21467b8c4de0a1f7b3962c "
        "5e8d0c3a9f21467b8c4de0a1f7b3962c netsetter-installer",
        "loaded [3 ]",
        "parsed",
    };
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_EQ(recorder.userAgentAtSplash, "User-Agent: nolvaria netsetter 7.1 web");
    EXPECT_EQ(Settings::GetString(Settings::ID::ProductVersion, ""), "7.1");
    EXPECT_EQ(Settings::GetString(Settings::ID::BuildName, ""), "from-command-line"); // empty value: unchanged
    EXPECT_EQ(Settings::GetString(Settings::ID::ModuleName, ""), "netsetter-mod");
    EXPECT_EQ(Settings::GetString(Settings::ID::BundleName, ""), "bundle-a");
    EXPECT_TRUE(std::any_cast<bool>(Settings::Get(Settings::ID::TestingCrash)));

    ASSERT_EQ(recorder.items.size(), 2u);
    EXPECT_EQ(recorder.items[0].installOrder, 0); // "first" has no digits
    const InstallerItem& item = recorder.items[1];
    EXPECT_EQ(item.installOrder, 12);
    EXPECT_EQ(item.installArgs, (std::vector<std::string>{"/A", "", "/B", "/DISABLE_SHORTCUTS"}));
    EXPECT_EQ(item.displayName, "Second Product");
    EXPECT_FALSE(item.checkAppRunning);
    EXPECT_TRUE(item.autodetectArch);
    EXPECT_TRUE(recorder.items[0].checkAppRunning);

    // Once the parser is gone, version changes no longer touch the user agent.
    Settings::Set(Settings::ID::ProductVersion, std::any(std::string("8.0")));
    EXPECT_EQ(Settings::GetString(Settings::ID::UserAgentHeader, ""), "User-Agent: nolvaria netsetter 7.1 web");
}

TEST_F(ConfigParserTest, OneInstallerWithTheKeyIsEnoughForTheKeyCheck) {
    json document = BuiltIn();
    json second = document["data"]["Installers"][0];
    second["id"] = Item("second");
    document["data"]["Installers"][0].erase("install_args");
    document["data"]["Installers"].push_back(second);
    Recorder recorder;
    EXPECT_TRUE(ParseDownloaded(recorder, document.dump()));
    EXPECT_FALSE(recorder.has("invalid "));
    EXPECT_EQ(recorder.count("installer "), 2u);
}

TEST(ConfigFormat, IntegersAndArguments) {
    EXPECT_EQ(Config::ToInt("42", 0), 42);
    EXPECT_EQ(Config::ToInt("  -7", 0), -7);
    EXPECT_EQ(Config::ToInt("12abc", 0), 12);
    EXPECT_EQ(Config::ToInt("abc", 5), 5);
    EXPECT_EQ(Config::ToInt("", 5), 5);
    EXPECT_EQ(Config::ToInt("99999999999", 3), 3);
    EXPECT_EQ(Config::SplitArguments("/S"), (std::vector<std::string>{"/S"}));
    EXPECT_EQ(Config::SplitArguments(" /S "), (std::vector<std::string>{"", "/S", ""}));
    EXPECT_EQ(Config::SplitArguments(""), (std::vector<std::string>{""}));
}

// Random edits of a valid document never crash or hang the parser: each parse ends accepted or rejected.
TEST_F(ConfigParserTest, RandomEditsNeverBreakTheParser) {
    const std::string valid = BuiltIn().dump();
    std::mt19937 random(20261208);
    const std::vector<json> odd = {nullptr, 0, -1, 3.5, true, "", "release", "\xF0\x9F\x98\x80", json::array(),
                                   json::object(), json::array({1, "x"}), json{{"DefaultValue", "x.exe"}},
                                   json{{"DefaultValue", 7}}, "\xD0\x9F\xD1\x80\xD0\xB8", "https://x.example/a.exe"};
    int accepted = 0, rejected = 0;
    for (int round = 0; round < 2500; ++round) {
        std::string text;
        json document = json::parse(valid);
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            // Walk to a random node.
            json* node = &document;
            while ((node->is_object() || node->is_array()) && !node->empty() && random() % 3 != 0) {
                auto it = node->begin();
                std::advance(it, random() % node->size());
                node = &*it;
            }
            switch (random() % 4) {
            case 0: *node = odd[random() % odd.size()]; break;
            case 1:
                if (node->is_object() && !node->empty()) node->erase(node->begin());
                break;
            case 2:
                if (node->is_object()) (*node)["\xE2\x80\x8Bkey"] = odd[random() % odd.size()];
                break;
            default:
                if (node->is_string()) *node = node->get<std::string>() + "\xC3\xA9\x00";
                break;
            }
        }
        text = document.dump(-1, ' ', false, json::error_handler_t::replace);
        if (random() % 5 == 0) text.resize(random() % (text.size() + 1));
        if (random() % 7 == 0 && !text.empty()) text[random() % text.size()] = static_cast<char>(random());

        Recorder recorder;
        bool result = false;
        ASSERT_NO_THROW(result = ParseDownloaded(recorder, text)) << text;
        EXPECT_TRUE(result);
        ASSERT_FALSE(recorder.calls.empty());
        (recorder.calls.front().rfind("invalid", 0) == 0 ? rejected : accepted)++;
        // As a built-in document the same text is accepted or reported as unusable, never thrown.
        Recorder builtIn;
        ConfigParser parser(builtIn, std::make_shared<TextProvider>("", text));
        ASSERT_NO_THROW(parser.ParseDefaultConfig());
        EXPECT_TRUE(builtIn.calls.back() == "parsed" || builtIn.calls.back() == "default failed");
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(rejected, 0);
}

TEST_F(ConfigParserTest, AnAbsentInstallOrderIsZeroWithoutAConversionError) {
    json document = BuiltIn();
    document["data"]["Installers"][0].erase("install_order");
    json second = BuiltIn()["data"]["Installers"][0];
    second["id"] = Item("second");
    second["install_order"] = Item("later");
    document["data"]["Installers"].push_back(second);
    Testing::LogCapture log;
    Recorder recorder;
    EXPECT_TRUE(ParseDownloaded(recorder, document.dump()));
    ASSERT_EQ(recorder.items.size(), 2u);
    EXPECT_EQ(recorder.items[0].installOrder, 0);
    EXPECT_EQ(recorder.items[1].installOrder, 0);
    // Only the text without digits is a conversion error.
    const auto errors = log.lines(google::GLOG_ERROR);
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [](const std::string& line) { return line.rfind("Invalid conversion: ", 0) == 0; }),
              1)
        << log.text();
    EXPECT_TRUE(log.contains("Invalid conversion: later error: invalid stoi argument", google::GLOG_ERROR));
}

// Deeply nested documents end accepted or rejected like any other, never with a stack overflow.
TEST_F(ConfigParserTest, DeeplyNestedDocumentsAreRejectedOrAccepted) {
    for (const std::size_t depth : {std::size_t{20000}, std::size_t{200000}}) {
        json document = BuiltIn();
        document["data"]["Product"]["version"]["DefaultValue"] = "9.9.9";
        const std::string marker = "\"Deep\":1";
        std::string text = document.dump();
        // Nest arrays inside an extra section of "data", and inside a "Values" array of a built-in item.
        const std::string nested = std::string(depth, '[') + std::string(depth, ']');
        for (const std::string& at : {std::string("\"data\":{"), std::string("\"Values\":[")}) {
            std::string deep = text;
            const auto position = deep.find(at);
            ASSERT_NE(position, std::string::npos);
            deep.insert(position + at.size(), at == "\"data\":{" ? "\"Deep\":" + nested + "," : nested + ",");
            Testing::LogCapture log;
            Recorder recorder;
            EXPECT_TRUE(ParseDownloaded(recorder, deep));
            EXPECT_EQ(recorder.calls.front(), "invalid ");
            EXPECT_EQ(recorder.calls.back(), "parsed");
            EXPECT_TRUE(log.contains("Failed to parse json: nested deeper than", google::GLOG_ERROR));
        }
    }
    // Nesting within the limit is read as before.
    json document = BuiltIn();
    json deep = json::array();
    for (std::size_t level = 3; level < Config::kMaxDepth - 2; ++level) deep = json::array({deep});
    document["data"]["Deep"] = deep;
    Recorder recorder;
    EXPECT_TRUE(ParseDownloaded(recorder, document.dump()));
    EXPECT_EQ(recorder.calls.front(), "installer netsetter");
}

// A staging token is put into URLs as it stands, whatever characters it holds.
TEST_F(ConfigParserTest, StagingTokenIsInsertedLiterally) {
    for (const std::string token : {"$'", "$`", "$&", "$0", "$1", "\\1", "a$$b"}) {
        Settings::Set(Settings::ID::StagingToken, std::any(token));
        EXPECT_EQ(ApplyStagingToUrl("https://cdn.example/release/x/release.png"),
                  "https://cdn.example/staging/" + token + "/x/staging/" + token + ".png")
            << token;
    }
    // Many occurrences in a long URL take linear time.
    Settings::Set(Settings::ID::StagingToken, std::any(std::string(200, 't')));
    std::string url = "https://cdn.example/";
    for (int i = 0; i < 20000; ++i) url += "release/";
    const auto started = std::chrono::steady_clock::now();
    const std::string staged = ApplyStagingToUrl(url);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(staged.size(), url.size() + 20000 * (std::string("staging/").size() + 200 - std::string("release").size()));
    Settings::Set(Settings::ID::StagingToken, std::any(std::string()));
}

// A rejected document whose URLs the staging token rewrites reports nothing of itself: only the built-in
// configuration reaches the logic, its URLs staged literally.
TEST_F(ConfigParserTest, ARejectedStagedDocumentReportsNothingOfItself) {
    const std::string token = "$'";
    Settings::Set(Settings::ID::StagingToken, std::any(token));
    json document = BuiltIn();
    document["configname"] = "STAGED";
    document["data"]["Product"]["version"]["DefaultValue"] = "9.9.9";
    std::string url = "https://cdn.example/";
    for (int i = 0; i < 2000; ++i) url += "release/";
    document["data"]["Splash"]["start"]["DefaultValue"] = url + "start.png";
    document["data"]["Installers"][0]["url"]["DefaultValue"] = "https://cdn.example/release/setup.msi";
    Recorder recorder;
    EXPECT_TRUE(ParseDownloaded(recorder, document.dump()));
    Settings::Set(Settings::ID::StagingToken, std::any(std::string()));

    std::vector<std::string> expected{"invalid "};
    for (std::string call : kBuiltInCalls) {
        if (const auto at = call.find("/release/"); at != std::string::npos && call.rfind("splash", 0) == 0)
            call.replace(at, 9, "/staging/" + token + "/");
        expected.push_back(call);
    }
    EXPECT_EQ(recorder.calls, expected);
    EXPECT_EQ(Settings::GetString(Settings::ID::ConfigName, ""), "CONFIG_FROM_INSTALLER");
    EXPECT_EQ(Settings::GetString(Settings::ID::ProductVersion, ""), "2.0.0");
}

// A configuration file larger than any configuration is not read: the built-in one serves.
TEST_F(ConfigParserTest, AnOversizedConfigurationFileIsNotRead) {
    Testing::TempFolder temp(L"netsetter-config-");
    const auto file = temp / L"config.json";
    const std::string text = BuiltIn().dump();
    Testing::WriteWholeFile(file, text + std::string(ConfigDataProvider::kMaxConfigSize, ' '));
    Testing::LogCapture log;
    EXPECT_EQ(ConfigDataProvider(ioPath(file.wstring())).GetConfig(), "");
    EXPECT_TRUE(log.contains("Configuration file is larger than 4194304 bytes", google::GLOG_ERROR));
    Testing::WriteWholeFile(file, text);
    EXPECT_EQ(ConfigDataProvider(ioPath(file.wstring())).GetConfig(), text);
}
