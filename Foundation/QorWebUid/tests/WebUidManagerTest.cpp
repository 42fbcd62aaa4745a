#include <chrono>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorWebUid/WebUidFormat.h"
#include "QorWebUid/WebUidManager.h"
#include "RegistryBrand.h"
#include "testing/TestServer.h"

using namespace Nolvar;
using App::WebUidManager;
using nlohmann::json;

namespace {

const std::map<std::string, std::string> kRequestParams = {
    {"app", "netsetter"}, {"bundle_name", "Bundle One"}, {"source", "WI"}, {"version", "2.0.0"}};

class WebUidServiceTest : public ::testing::Test {
protected:
    WebUidManager::Parameters parameters(const std::string& key) const {
        WebUidManager::Parameters p{{{"User-Agent", "nolvaria netsetter 2.0.0 web"}}, 5000, true, 0};
        p.serviceUrl = m_server.httpUrl("/script/" + key + "/v1/");
        p.brand = m_brand.name();
        m_server.reset(key);
        return p;
    }

    json recorded(const std::string& key) const { return json::parse(m_server.recorded(key)); }

    Testing::TestServer m_server;
    RegistryBrand m_brand{"webuid-manager"};
};

} // namespace

TEST(WebUidFormat, AcceptsLettersDigitsAndDashesOfEightToSixtyFourCharacters) {
    EXPECT_TRUE(App::IsWebUidFormat("abcd1234"));
    EXPECT_TRUE(App::IsWebUidFormat("0f8fad5b-d9cb-469f-a165-70867728950e"));
    EXPECT_TRUE(App::IsWebUidFormat(std::string(64, 'Z')));
    EXPECT_FALSE(App::IsWebUidFormat(""));
    EXPECT_FALSE(App::IsWebUidFormat("abc1234"));
    EXPECT_FALSE(App::IsWebUidFormat(std::string(65, 'a')));
    for (const char* odd : {"abcd 1234", "abcd_1234", "abcd\"1234", "abcd/1234", "abcd&x=12", "abcd1234\n",
                            "abcd\xd0\xb9" "1234"}) {
        EXPECT_FALSE(App::IsWebUidFormat(odd)) << odd;
    }
}

TEST_F(WebUidServiceTest, ReadsIdsUnderTheBrandsSubKeysAndRejectsAMalformedUserId) {
    WebUidManager manager(parameters("unused"));
    RegistryBrand other("webuid-manager-other");
    EXPECT_EQ(manager.getUserWebUid(), "");
    EXPECT_EQ(manager.getWebUidFromRegistryKey("User", ""), "");

    m_brand.write("User", "user-id-0001");
    m_brand.write("Product", "product-id-0002");
    other.write("User", "other-id-0003");
    EXPECT_EQ(manager.getUserWebUid(), "user-id-0001");
    EXPECT_EQ(manager.getWebUidFromRegistryKey("User", ""), "user-id-0001");
    EXPECT_EQ(manager.getWebUidFromRegistryKey("Product", ""), "product-id-0002");
    EXPECT_EQ(manager.getWebUidFromRegistryKey("User", other.name()), "other-id-0003");
    EXPECT_EQ(manager.getWebUidFromRegistryKey("Missing", other.name()), "");

    m_brand.write("User", "bad id");
    EXPECT_EQ(manager.getUserWebUid(), "") << "a malformed id is not usable";
    EXPECT_EQ(manager.getWebUidFromRegistryKey("User", ""), "bad id") << "raw reads give the value as stored";

    m_brand.writeNumber("Product", 7);
    EXPECT_EQ(manager.getWebUidFromRegistryKey("Product", ""), "") << "only string values count";

    EXPECT_TRUE(manager.getLastConnectionInfo().empty()) << "nothing here contacts the service";
}

TEST_F(WebUidServiceTest, RequestsANewIdWithTheInfoAndTheHeaders) {
    const auto p = parameters("webuid-new");
    m_server.script("webuid-new", R"([{"status": 200, "body": {"webuid": "api-id-12345678"}}])");
    WebUidManager manager(p);
    EXPECT_TRUE(manager.getLastConnectionInfo().empty());

    EXPECT_EQ(manager.requestWebUid(kRequestParams), "api-id-12345678");

    const auto requests = recorded("webuid-new");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["method"], "GET");
    EXPECT_EQ(requests[0]["path"], "/script/webuid-new/v1/webuid");
    EXPECT_EQ(requests[0]["query"], "app=netsetter&bundle_name=Bundle%20One&source=WI&version=2.0.0");
    EXPECT_EQ(requests[0]["headers"]["User-Agent"], "nolvaria netsetter 2.0.0 web");

    const auto info = manager.getLastConnectionInfo();
    ASSERT_TRUE(info.count("EFFECTIVE_URL"));
    EXPECT_NE(info.at("EFFECTIVE_URL").find("/script/webuid-new/v1/webuid?app=netsetter"), std::string::npos);
    EXPECT_EQ(info.at("RESPONSE_CODE"), "200");
}

TEST_F(WebUidServiceTest, AFailedOrUnusableAnswerGivesNoId) {
    const auto p = parameters("webuid-bad");
    m_server.script("webuid-bad", R"([
        {"status": 503},
        {"status": 200, "body": "not json"},
        {"status": 200, "body": {"id": "api-id-12345678"}},
        {"status": 200, "body": {"webuid": "bad id&x=1"}},
        {"status": 200, "body": {"webuid": 12345678}}])");
    WebUidManager manager(p);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(manager.requestWebUid(kRequestParams), "") << "answer " << i;
    EXPECT_EQ(recorded("webuid-bad").size(), 5u) << "one request per call";
    EXPECT_EQ(manager.getLastConnectionInfo().at("RESPONSE_CODE"), "200");
}

TEST_F(WebUidServiceTest, AnUnreachableOrSlowServiceEndsWithinTheTimeOut) {
    auto p = parameters("webuid-slow");
    p.serviceUrl = "http://127.0.0.1:1/v1";
    EXPECT_EQ(WebUidManager(p).requestWebUid(kRequestParams), "");

    p = parameters("webuid-slow");
    p.timeoutMs = 700;
    m_server.script("webuid-slow", R"([{"status": 200, "delay": 5000, "body": {"webuid": "late-id-12345678"}}])");
    WebUidManager manager(p);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(manager.requestWebUid(kRequestParams), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
}

// The answer is kept in memory only up to its cap: a longer one is an error and ends the request early.
TEST_F(WebUidServiceTest, AnAnswerOverTheSizeCapIsAnError) {
    auto p = parameters("webuid-long");
    const std::string id = R"({"webuid": "long-id-12345678"})";
    m_server.script("webuid-long", json::array({{{"status", 200}, {"body", id + std::string(60 * 1024, ' ')}},
                                                {{"status", 200}, {"body", id + std::string(70 * 1024, ' ')}}})
                                       .dump());
    WebUidManager manager(p);
    EXPECT_EQ(manager.requestWebUid(kRequestParams), "long-id-12345678");
    EXPECT_EQ(manager.requestWebUid(kRequestParams), "");

    // An endless answer ends long before the time-out.
    p.serviceUrl = m_server.httpUrl("/data/4000000000?chunked=1&to=");
    p.timeoutMs = 240000;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(WebUidManager(p).requestWebUid(kRequestParams), "");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(60));
}

TEST_F(WebUidServiceTest, MergePostsTheChosenAndTheOtherIds) {
    const auto p = parameters("webuid-merge");
    m_server.script("webuid-merge", R"([{"status": 200, "body": "{}"}, {"status": 500}])");
    WebUidManager manager(p);

    EXPECT_TRUE(manager.concatenateWebUids("chosen-id-0001", {"other-id-0002", "other-id-0003"}));
    EXPECT_FALSE(manager.concatenateWebUids("chosen-id-0001", {"other-id-0002"}));
    EXPECT_EQ(manager.getLastConnectionInfo().at("RESPONSE_CODE"), "500");

    // Nothing to merge, or ids of the wrong form: no request at all.
    EXPECT_FALSE(manager.concatenateWebUids("chosen-id-0001", {}));
    EXPECT_FALSE(manager.concatenateWebUids("bad id", {"other-id-0002"}));
    EXPECT_FALSE(manager.concatenateWebUids("chosen-id-0001", {"bad id", "chosen-id-0001"}));

    const auto requests = recorded("webuid-merge");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["method"], "POST");
    EXPECT_EQ(requests[0]["path"], "/script/webuid-merge/v1/webuid/merge");
    EXPECT_EQ(requests[0]["headers"]["Content-Type"], "application/json");
    EXPECT_EQ(requests[0]["headers"]["User-Agent"], "nolvaria netsetter 2.0.0 web");
    EXPECT_EQ(json::parse(requests[0]["body"].get<std::string>()),
              json::parse(R"({"webuid": "chosen-id-0001", "merge": ["other-id-0002", "other-id-0003"]})"));
}
