#include <gtest/gtest.h>

#include "Tracking/Tallivo/Impl/Sender.h"
#include "Uploads.h"

using namespace Nolvar;
using namespace Nolvar::Tracking::Instant;
using Kind = ISender::ResponseKind;

namespace {

class SenderTest : public ::testing::Test {
protected:
    ISender::Response sendWith(const std::string& answers, const std::string& body = R"({"events":[]})") {
        server.script(key, answers);
        Sender sender(Networking::Url(server.httpUrl("/script/" + key)), {"User-Agent", "Netsetter/2.0.0 (test)"},
                      Networking::HttpVersion::Default);
        return sender.send(body, [] { return false; });
    }

    Testing::TestServer server;
    std::string key = Testing::UniqueKey("sender");
};

} // namespace

TEST_F(SenderTest, UploadIsOneJsonPostWithTheExtraHeader) {
    const std::string body = "{\"brand\":\"nolvaria\",\"events\":[{\"name\":\"Ж\"}]}";
    const auto response = sendWith(Testing::kAccept, body);
    EXPECT_EQ(response.kind, Kind::Ok);
    EXPECT_TRUE(response.answer.parsed);
    EXPECT_TRUE(response.answer.success);
    EXPECT_FALSE(response.answer.disabled);
    EXPECT_FALSE(response.headers.valid);

    const auto recorded = Testing::Recorded(server, key);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0]["method"], "POST");
    EXPECT_EQ(recorded[0]["body"], body);
    const auto& headers = recorded[0]["headers"];
    EXPECT_EQ(headers.value("Content-Type", ""), "application/json");
    EXPECT_EQ(headers.value("User-Agent", ""), "Netsetter/2.0.0 (test)");
}

TEST_F(SenderTest, StatusesAndBodies) {
    EXPECT_EQ(sendWith(R"([{"status":400}])").kind, Kind::BadRequest);
    EXPECT_EQ(sendWith(R"([{"status":500}])").kind, Kind::ServerError);
    EXPECT_EQ(sendWith(R"([{"status":503}])").kind, Kind::OtherStatus);

    const auto html = sendWith(R"([{"status":200,"body":"<html>busy</html>"}])");
    EXPECT_EQ(html.kind, Kind::Ok);
    EXPECT_FALSE(html.answer.parsed || html.answer.success || html.answer.disabled);

    const auto both = sendWith(R"([{"status":200,"body":{"success":true,"disabled":true}}])");
    EXPECT_TRUE(both.answer.success && both.answer.disabled);
    // Flags that are not booleans make no answer.
    EXPECT_FALSE(sendWith(R"([{"status":200,"body":{"success":"true","disabled":false}}])").answer.parsed);
    EXPECT_FALSE(sendWith(R"([{"status":200,"body":{"success":true}}])").answer.parsed);
}

TEST_F(SenderTest, RateLimitHeaders) {
    const auto lower = sendWith(R"([{"status":429,"headers":{"x-ratelimit-limit":"100","x-ratelimit-remaining":"0",
                                     "x-ratelimit-retry-after":"30 s"}}])");
    EXPECT_EQ(lower.kind, Kind::TooManyRequests);
    EXPECT_TRUE(lower.headers.valid);
    EXPECT_EQ(lower.headers.limit, 100u);
    EXPECT_EQ(lower.headers.remaining, 0u);
    EXPECT_EQ(lower.headers.retryAfter, 30);

    const auto onlyRetry = sendWith(R"([{"status":429,"headers":{"X-RateLimit-Retry-After":"30"}}])");
    EXPECT_FALSE(onlyRetry.headers.valid);
    EXPECT_EQ(onlyRetry.headers.retryAfter, 0);

    Networking::Headers headers{{"X-RateLimit-Limit", "1"}, {"X-RateLimit-Remaining", "1"},
                                {"X-RateLimit-Retry-After", "-5"}};
    EXPECT_TRUE(Sender::parseHeaders(headers).valid);
    EXPECT_EQ(Sender::parseHeaders(headers).retryAfter, -5);
    headers["X-RateLimit-Retry-After"] = "99999999999";  // beyond 32 bits: not read
    EXPECT_FALSE(Sender::parseHeaders(headers).valid);
    headers["X-RateLimit-Retry-After"] = "2000000000";  // a day at most
    EXPECT_EQ(Sender::parseHeaders(headers).retryAfter, 86400);
    headers["X-RateLimit-Limit"] = "many";
    EXPECT_FALSE(Sender::parseHeaders(headers).valid);
}

TEST_F(SenderTest, NoServerIsATransportError) {
    // A port nobody listens on: the server's own port after the server is asked for an unused one is not
    // knowable, so use port 1 on the loopback address.
    Sender sender(Networking::Url("http://127.0.0.1:1/stat"), {"User-Agent", "x"}, Networking::HttpVersion::Default);
    const auto response = sender.send("{}", [] { return false; });
    EXPECT_EQ(response.kind, Kind::TransportError);
    EXPECT_FALSE(response.headers.valid || response.answer.parsed);
}

TEST_F(SenderTest, StopCheckEndsAnUploadInFlight) {
    server.script(key, R"([{"status":200,"delay":20000,"body":{"success":true,"disabled":false}}])");
    Sender sender(Networking::Url(server.httpUrl("/script/" + key)), {"User-Agent", "x"},
                  Networking::HttpVersion::Default);
    const auto start = std::chrono::steady_clock::now();
    const auto response = sender.send("{}", [start] {
        return std::chrono::steady_clock::now() - start > std::chrono::milliseconds(300);
    });
    EXPECT_EQ(response.kind, Kind::TransportError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}


// The server's answer is kept in memory only up to its cap; an endless one is an error, not a long wait.
TEST_F(SenderTest, AnAnswerOverTheSizeCapIsATransportError) {
    const std::string accept = R"({"success":true,"disabled":false})";
    const auto padded = [&](std::size_t spaces) {
        return nlohmann::json::array({{{"status", 200}, {"body", accept + std::string(spaces, ' ')}}}).dump();
    };
    EXPECT_TRUE(sendWith(padded(60 * 1024)).answer.success);
    EXPECT_EQ(sendWith(padded(70 * 1024)).kind, Kind::TransportError);

    Sender sender(Networking::Url(server.httpUrl("/data/4000000000?chunked=1")), {"User-Agent", "x"},
                  Networking::HttpVersion::Default);
    const auto start = std::chrono::steady_clock::now();
    const auto response = sender.send("{}", [] { return false; });
    EXPECT_EQ(response.kind, Kind::TransportError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(25));
}
