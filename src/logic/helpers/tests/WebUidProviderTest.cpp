#include <mutex>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Foundation/QorWebUid/tests/RegistryBrand.h"
#include "logic/helpers/WebUidProvider.h"
#include "logic/tracker/json/IStatisticsTracker.h"
#include "testing/LogCapture.h"
#include "utils/Settings.h"
#include "testing/TestServer.h"

using namespace Nolvar;
using Testing::LogCapture;
using Tracking::Instant::Event;
using nlohmann::json;
using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

class RecordingStatistics final : public IStatisticsTracker {
public:
    void Initialize(const std::string&, const std::string&, const std::string&) override {}
    void TrackEvent(Event event) override {
        std::lock_guard lock(m_lock);
        m_events.push_back(std::move(event));
    }
    std::vector<Event> events() const {
        std::lock_guard lock(m_lock);
        return m_events;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& event : events()) result.push_back(event.name);
        return result;
    }
    Event last(const std::string& name) const {
        const auto all = events();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->name == name) return *it;
        }
        return {};
    }

private:
    mutable std::mutex m_lock;
    std::vector<Event> m_events;
};

class WebUidProviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Settings::Set(Settings::ID::WebUid, std::any());
        Settings::Set(Settings::ID::HardwareId, std::any(std::string("0f8fad5b-d9cb-469f-a165-70867728950e")));
        m_server.reset(m_key);
    }

    static void SetFileWebUid(const char* id) { Settings::Set(Settings::ID::WebUid, std::any(std::string(id))); }

    App::WebUidManager::Parameters parameters() const {
        App::WebUidManager::Parameters p{{{"User-Agent", "nolvaria netsetter 2.0.0 web"}}, 5000, true, 0};
        p.serviceUrl = m_server.httpUrl("/script/" + m_key);
        p.brand = m_brand.name();
        return p;
    }

    std::string provide(const App::WebUidManager::Parameters& p) {
        return ProvideWebUid(m_statistics, p, {"netsetter", "Bundle One", "WI", "2.0.0"}, m_oldBrand.name());
    }
    std::string provide() { return provide(parameters()); }

    json requests() const { return json::parse(m_server.recorded(m_key)); }
    std::map<std::string, std::string> decision() const { return m_statistics->last("WI_NEW_WEBUID").params; }

    Testing::TestServer m_server;
    const std::string m_key = "webuid-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    RegistryBrand m_brand{"provider-new"};
    RegistryBrand m_oldBrand{"provider-old"};
    std::shared_ptr<RecordingStatistics> m_statistics = std::make_shared<RecordingStatistics>();
};

} // namespace

TEST_F(WebUidProviderTest, ValidOlderBrandIdIsChosenAndTheFileIdMergedIntoIt) {
    m_oldBrand.write("User", "old-user-0001");
    SetFileWebUid("file-id-0002");
    m_server.script(m_key, R"([{"status": 200, "body": "{}"}])");
    LogCapture log;

    EXPECT_EQ(provide(), "old-user-0001");

    EXPECT_EQ(decision(), (std::map<std::string, std::string>{{"REG_USER_OLD_BRAND_WEBUID", "old-user-0001"},
                                                              {"REG_USER_WEBUID", "NOT_VALID_"},
                                                              {"REG_PRODUCT_OLD_BRAND_WEBUID", "NOT_VALID_"},
                                                              {"REG_PRODUCT_WEBUID", "NOT_VALID_"},
                                                              {"FILE_WEBUID", "file-id-0002"},
                                                              {"MERGE_WEBUID_RESULT", "success"}}));
    EXPECT_THAT(log.lines(), Contains("Found webuid FILE_WEBUID, value = file-id-0002"));
    EXPECT_EQ(m_brand.read("User"), "old-user-0001");
    EXPECT_EQ(m_oldBrand.read("User"), "old-user-0001");
    EXPECT_EQ(Settings::GetString(Settings::ID::WebUid, ""), "old-user-0001");

    const auto sent = requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]["path"], "/script/" + m_key + "/webuid/merge");
    EXPECT_EQ(json::parse(sent[0]["body"].get<std::string>()),
              json::parse(R"({"webuid": "old-user-0001", "merge": ["file-id-0002"]})"));

    // The merge's connection metrics come before the decision, with the parts of the effective URL.
    EXPECT_THAT(m_statistics->names(), ElementsAre("CONNECTION_METRICS", "WI_NEW_WEBUID"));
    const auto metrics = m_statistics->last("CONNECTION_METRICS").params;
    EXPECT_EQ(metrics.at("SOURCE"), "127.0.0.1");
    EXPECT_EQ(metrics.at("URI"), "/script/" + m_key + "/webuid/merge");
    EXPECT_EQ(metrics.at("RESPONSE_CODE"), "200");
}

TEST_F(WebUidProviderTest, FailedMergeIsReportedAndChangesNothingElse) {
    m_brand.write("User", "user-id-0001");
    m_brand.write(PRODUCT_REGISTRY_KEY, "product-id-0002");
    m_server.script(m_key, R"([{"status": 500}])");

    EXPECT_EQ(provide(), "user-id-0001");
    EXPECT_EQ(decision().at("REG_PRODUCT_WEBUID"), "product-id-0002");
    EXPECT_EQ(decision().at("MERGE_WEBUID_RESULT"), "fail");
    EXPECT_EQ(m_brand.read("User"), "user-id-0001");
    EXPECT_EQ(requests().size(), 1u);
}

TEST_F(WebUidProviderTest, EqualIdsEverywhereNeedNoMergeAndNoWrite) {
    for (const auto* brand : {&m_brand, &m_oldBrand}) {
        brand->write("User", "same-id-0001");
        brand->write(PRODUCT_REGISTRY_KEY, "same-id-0001");
    }
    SetFileWebUid("same-id-0001");
    const auto written = m_brand.lastWriteTime("User");
    const auto writtenOld = m_oldBrand.lastWriteTime("User");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    EXPECT_EQ(provide(), "same-id-0001");

    const auto params = decision();
    for (const char* source :
         {"REG_USER_OLD_BRAND_WEBUID", "REG_USER_WEBUID", "REG_PRODUCT_OLD_BRAND_WEBUID", "REG_PRODUCT_WEBUID",
          "FILE_WEBUID"}) {
        EXPECT_EQ(params.at(source), "same-id-0001") << source;
    }
    EXPECT_EQ(params.at("MERGE_WEBUID_RESULT"), "not attempted");
    EXPECT_FALSE(params.count("API_WEBUID"));
    EXPECT_TRUE(requests().empty()) << "the service is not contacted";
    EXPECT_THAT(m_statistics->names(), ElementsAre("WI_NEW_WEBUID"));
    EXPECT_EQ(m_brand.lastWriteTime("User"), written) << "no write when the stored id is the chosen one";
    EXPECT_EQ(m_oldBrand.lastWriteTime("User"), writtenOld);
}

TEST_F(WebUidProviderTest, WithoutAValidIdTheServiceAnswerIsUsedAndStored) {
    SetFileWebUid("bad&id=1");  // malformed id from the file name: never stored or passed on
    m_server.script(m_key, R"([{"status": 200, "body": {"webuid": "api-id-12345678"}}])");
    LogCapture log;

    EXPECT_EQ(provide(), "api-id-12345678");

    EXPECT_EQ(decision(), (std::map<std::string, std::string>{{"REG_USER_OLD_BRAND_WEBUID", "NOT_VALID_"},
                                                              {"REG_USER_WEBUID", "NOT_VALID_"},
                                                              {"REG_PRODUCT_OLD_BRAND_WEBUID", "NOT_VALID_"},
                                                              {"REG_PRODUCT_WEBUID", "NOT_VALID_"},
                                                              {"FILE_WEBUID", "NOT_VALID_bad&id=1"},
                                                              {"API_WEBUID", "api-id-12345678"},
                                                              {"MERGE_WEBUID_RESULT", "not attempted"}}));
    EXPECT_THAT(log.lines(),
                Contains("Registry and filename webuids are not valid, using API_WEBUID instead, value = "
                         "api-id-12345678"));
    EXPECT_EQ(m_brand.read("User"), "api-id-12345678");
    EXPECT_EQ(m_oldBrand.read("User"), "<absent>");
    EXPECT_EQ(Settings::GetString(Settings::ID::WebUid, ""), "api-id-12345678");

    const auto sent = requests();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]["method"], "GET");
    EXPECT_EQ(sent[0]["query"], "app=netsetter&bundle_name=Bundle%20One&source=WI&version=2.0.0");
    EXPECT_EQ(sent[0]["headers"]["User-Agent"], "nolvaria netsetter 2.0.0 web");
    EXPECT_THAT(m_statistics->names(), ElementsAre("CONNECTION_METRICS", "WI_NEW_WEBUID"));
}

TEST_F(WebUidProviderTest, UnreachableServiceFallsBackToTheMachineIdWithoutWriting) {
    auto p = parameters();
    p.serviceUrl = "http://127.0.0.1:1/v1";
    LogCapture log;

    EXPECT_EQ(provide(p), "0f8fad5b-d9cb-469f-a165-70867728950e");

    EXPECT_FALSE(decision().count("API_WEBUID"));
    EXPECT_EQ(decision().at("MERGE_WEBUID_RESULT"), "not attempted");
    EXPECT_THAT(log.lines(),
                Contains("Extracted WebUid value is invalid or server is unreachable. Using HardwareUid as WebUid"));
    EXPECT_EQ(m_brand.read("User"), "<absent>");
    EXPECT_EQ(m_oldBrand.read("User"), "<absent>");
    EXPECT_EQ(Settings::GetString(Settings::ID::WebUid, ""), "0f8fad5b-d9cb-469f-a165-70867728950e");
    // The failed request is reported too, also when it has no metrics.
    EXPECT_THAT(m_statistics->names(), ElementsAre("CONNECTION_METRICS", "WI_NEW_WEBUID"));
}

TEST_F(WebUidProviderTest, WithoutServiceAndMachineIdTheIdIsEmptyAndTheRunGoesOn) {
    Settings::Set(Settings::ID::HardwareId, std::any());
    SetFileWebUid("x");
    m_server.script(m_key, R"([{"status": 503}])");
    LogCapture log;

    EXPECT_EQ(provide(), "");
    EXPECT_THAT(log.lines(), Contains("Extracted WebUid value is invalid or server is unreachable, HardwareUid "
                                      "generation failed. Proceeding with empty WebUid"));
    ASSERT_TRUE(Settings::Get(Settings::ID::WebUid).has_value());
    EXPECT_EQ(Settings::GetString(Settings::ID::WebUid, "unset"), "");
    EXPECT_EQ(m_brand.read("User"), "<absent>");
}

TEST_F(WebUidProviderTest, InvalidOlderBrandUserIdIsOverwrittenWithTheChosenOne) {
    m_brand.write("User", "user-id-0001");
    m_oldBrand.write("User", "old bad id");
    const auto written = m_brand.lastWriteTime("User");
    const auto writtenOld = m_oldBrand.lastWriteTime("User");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    EXPECT_EQ(provide(), "user-id-0001");

    EXPECT_EQ(decision().at("REG_USER_OLD_BRAND_WEBUID"), "NOT_VALID_old bad id");
    EXPECT_EQ(m_oldBrand.read("User"), "user-id-0001");
    EXPECT_NE(m_oldBrand.lastWriteTime("User"), writtenOld) << "a write shows in the key's time";
    EXPECT_EQ(m_brand.lastWriteTime("User"), written);
    EXPECT_TRUE(requests().empty());
}

TEST_F(WebUidProviderTest, MalformedCurrentUserIdIsReplaced) {
    m_brand.write("User", "bad id");
    m_brand.write(PRODUCT_REGISTRY_KEY, "product-id-0002");

    EXPECT_EQ(provide(), "product-id-0002");
    EXPECT_EQ(decision().at("REG_USER_WEBUID"), "NOT_VALID_");
    EXPECT_EQ(m_brand.read("User"), "product-id-0002");
}

TEST(WebUidRegistryWrite, WritesTheIdAsAStringUnderTheBrandsUserKey) {
    RegistryBrand brand("write");
    EXPECT_TRUE(WriteWebUidToRegistry("id-0001-\xd0\xb9", brand.name()));
    EXPECT_EQ(brand.read("User"), "id-0001-\xd0\xb9");
    EXPECT_TRUE(WriteWebUidToRegistry("id-0002", brand.name()));
    EXPECT_EQ(brand.read("User"), "id-0002");
}
