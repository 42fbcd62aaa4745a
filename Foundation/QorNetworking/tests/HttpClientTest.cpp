// The WinHTTP client against the scriptable test server on 127.0.0.1.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "QorNetworking/HttpClient.h"
#include "testing/LogCapture.h"
#include "testing/TestServer.h"

using namespace Nolvar::Networking;
using Clock = std::chrono::steady_clock;

namespace {

std::string PatternBytes(std::size_t start, std::size_t length) {
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length; ++i) out[i] = static_cast<char>((start + i) % 251);
    return out;
}

// Short limits for tests; the product passes its own.
Options TestOptions() {
    Options options;
    options.lowSpeedLimit = 1;
    options.connectTimeout = 5;
    options.timeout = 30'000'000;
    options.followRedirects = true;
    options.maxRedirects = 5;
    options.lowSpeedTime = 10'000;
    return options;
}

// Each HTTPS request makes a TLS handshake on a test server that may be slow on a loaded machine; the server's
// certificate chains to no trusted root.
Options HttpsTestOptions() {
    Options options = TestOptions();
    options.connectTimeout = 60;
    options.timeout = 120'000'000;
    options.lowSpeedTime = 60'000;
    options.sslIgnoreCertificateErrors = true;
    return options;
}

std::string UniqueKey() {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    return std::string(info->test_suite_name()) + "-" + info->name();
}

nlohmann::json Recorded(const Testing::TestServer& server, const std::string& key) {
    return nlohmann::json::parse(server.recorded(key));
}

// A privileged port the test machine's unprivileged server never listens on.
std::uint16_t ClosedPort(const Testing::TestServer&) { return 1; }

class HttpClientTest : public testing::Test {
protected:
    Testing::TestServer server;
    std::unique_ptr<IHttpClient> client = createHttpClient(HttpClientType::WinHttp);

    Request At(const std::string& pathAndQuery) { return Request{Url(server.httpUrl(pathAndQuery), Url::ParsingMode::Lenient), {}, {}}; }
};

TEST_F(HttpClientTest, GetDeliversBodyToSinkWithProgressEndingAtTotal) {
    const std::size_t size = 3 * 1024 * 1024 + 17;
    std::string received;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    Options options = TestOptions();
    options.sink = [&](std::string_view chunk) { received.append(chunk); };
    options.progress = [&](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); };

    Response response;
    client->get(response, At("/data/" + std::to_string(size)), options);

    EXPECT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_TRUE(response.body.empty());
    EXPECT_EQ(received, PatternBytes(0, size));
    ASSERT_GE(progress.size(), 2u);
    for (std::size_t i = 1; i < progress.size(); ++i) EXPECT_GE(progress[i].first, progress[i - 1].first);
    EXPECT_EQ(progress.front().second, size);
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t(size), std::uint64_t(size)));
    EXPECT_EQ(response.connectionMetrics.at("EFFECTIVE_URL"), server.httpUrl("/data/" + std::to_string(size)));
    EXPECT_EQ(response.connectionMetrics.at("RESPONSE_CODE"), "200");
    EXPECT_EQ(response.connectionMetrics.at("SIZE_DOWNLOAD"), std::to_string(size));
    EXPECT_TRUE(response.connectionMetrics.count("TOTAL_TIME"));
    EXPECT_TRUE(response.connectionMetrics.count("CONNECT_TIME"));
}

TEST_F(HttpClientTest, GetWithoutSinkKeepsBodyAndSendsHeaders) {
    const std::string key = UniqueKey();
    Request request = At("/echo?record=" + key);
    request.headers["X-Custom"] = "one";
    request.headers["User-Agent"] = "NetsetterTest/1.0";
    Response response;
    client->get(response, request, TestOptions());

    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    auto echo = nlohmann::json::parse(response.body);
    EXPECT_EQ(echo["method"], "GET");
    auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0]["headers"]["X-Custom"], "one");
    EXPECT_EQ(recorded[0]["headers"]["User-Agent"], "NetsetterTest/1.0");
    EXPECT_EQ(response.headers.at("content-type"), "application/json");
}

TEST_F(HttpClientTest, RequestsOfOneClientReuseTheirConnectionWhereKeepAliveAllows) {
    const std::string key = UniqueKey();
    Options keepAlive = TestOptions();
    keepAlive.keepAlive = true;
    Options closing = TestOptions();
    closing.keepAlive = false;
    for (const Options* options : {&keepAlive, &keepAlive, &keepAlive, &closing, &closing}) {
        Response response;
        client->get(response, At("/echo?record=" + key), *options);
        ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    }

    // The server sees the client's side of each connection as its port.
    const auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 5u);
    EXPECT_EQ(recorded[1]["peer_port"], recorded[0]["peer_port"]);
    EXPECT_EQ(recorded[2]["peer_port"], recorded[0]["peer_port"]);
    EXPECT_NE(recorded[4]["peer_port"], recorded[3]["peer_port"]);
}

// Reading pauses while a full batch waits for a slow sink; bodies ending right at a batch's end still complete.
TEST_F(HttpClientTest, BodiesOfWholeMebibytesArriveWholeThroughASlowSink) {
    for (const std::string query : {"", "?chunked=1"}) {
        const std::size_t size = 2 * 1024 * 1024;
        std::string received;
        std::pair<std::uint64_t, std::uint64_t> last;
        Options options = TestOptions();
        options.sink = [&](std::string_view chunk) {
            if (received.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(300));
            received.append(chunk);
        };
        options.progress = [&](std::uint64_t done, std::uint64_t total) { last = {done, total}; };

        Response response;
        client->get(response, At("/data/" + std::to_string(size) + query), options);

        EXPECT_EQ(response.error.code, Error::NoError) << query << ": " << response.error.message;
        EXPECT_TRUE(received == PatternBytes(0, size)) << query << ": " << received.size() << " bytes";
        EXPECT_EQ(last, std::make_pair(std::uint64_t(size), std::uint64_t(size))) << query;
    }
}

TEST_F(HttpClientTest, ChunkedAnswerReportsFinalTotal) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
    Options options = TestOptions();
    options.progress = [&](std::uint64_t done, std::uint64_t total) { progress.emplace_back(done, total); };
    Response response;
    client->get(response, At("/data/300000?chunked=1"), options);

    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.body, PatternBytes(0, 300000));
    EXPECT_EQ(response.headers.count("Content-Length"), 0u);
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 0; i + 1 < progress.size(); ++i) EXPECT_EQ(progress[i].second, 0u);
    EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t(300000), std::uint64_t(300000)));
}

TEST_F(HttpClientTest, HeadReadsLastModifiedAndNoBody) {
    Response response;
    bool progressCalled = false;
    Options options = TestOptions();
    options.progress = [&](std::uint64_t, std::uint64_t) { progressCalled = true; };
    client->head(response, At("/data/1000?lm=1700000000"), options);
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.getLastModified(), 1700000000);
    EXPECT_TRUE(response.body.empty());
    EXPECT_FALSE(progressCalled);
    EXPECT_EQ(response.connectionMetrics.at("EFFECTIVE_URL"), server.httpUrl("/data/1000?lm=1700000000"));

    client->head(response, At("/data/10"), options);
    ASSERT_EQ(response.error.code, Error::NoError);
    EXPECT_EQ(response.getLastModified(), 0);
}

TEST_F(HttpClientTest, PostAnswersWithAnyStatusAreNoError) {
    const std::string key = UniqueKey();
    server.script(key, R"([
        {"status": 200, "body": {"success": true, "disabled": false}},
        {"status": 400, "body": "bad batch"},
        {"status": 429, "body": "", "headers": {"X-RateLimit-Limit": "100", "X-RateLimit-Remaining": "0",
                                             "X-RateLimit-Retry-After": "30"}}])");
    Request request = At("/script/" + key);
    request.headers["Content-Type"] = "application/json";
    const std::string batch = R"({"events":[{"name":"тест"}]})";

    Response response;
    client->post(response, request, batch, TestOptions());
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(nlohmann::json::parse(response.body)["success"], true);

    client->post(response, request, batch, TestOptions());
    EXPECT_EQ(response.error.code, Error::NoError);
    EXPECT_EQ(response.statusCode, 400);
    EXPECT_EQ(response.body, "bad batch");

    client->post(response, request, batch, TestOptions());
    EXPECT_EQ(response.error.code, Error::NoError);
    EXPECT_EQ(response.statusCode, 429);
    EXPECT_EQ(response.headers.at("x-ratelimit-limit"), "100");
    EXPECT_EQ(response.headers.at("X-RATELIMIT-REMAINING"), "0");
    EXPECT_EQ(response.headers.at("X-RateLimit-Retry-After"), "30");

    auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 3u);
    for (const auto& r : recorded) {
        EXPECT_EQ(r["method"], "POST");
        EXPECT_EQ(r["body"], batch);
        EXPECT_EQ(r["headers"]["Content-Type"], "application/json");
        EXPECT_EQ(r["headers"]["Content-Length"], std::to_string(batch.size()));
    }
}

TEST_F(HttpClientTest, RedirectsAreFollowedWithEveryHeaderBlock) {
    Response response;
    client->get(response, At("/data/100?redirect=2&header=X-Hop:yes"), TestOptions());
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, PatternBytes(0, 100));
    const auto& blocks = response.getAllHeaders();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0].code, "302");
    EXPECT_EQ(blocks[0].reason, "Found");
    EXPECT_EQ(blocks[0].status, "HTTP/1.1 302 Found");
    EXPECT_EQ(blocks[0].headers.at("x-hop"), "yes");
    EXPECT_EQ(blocks[1].code, "302");
    EXPECT_EQ(blocks[2].code, "200");
    EXPECT_EQ(blocks[2].headers.at("Content-Length"), "100");
    EXPECT_EQ(response.connectionMetrics.at("EFFECTIVE_URL"),
              server.httpUrl("/data/100?redirect=0&header=X-Hop%3Ayes"));
    EXPECT_EQ(response.connectionMetrics.at("REDIRECT_COUNT"), "2");
}

TEST_F(HttpClientTest, TooManyRedirectsAndUnfollowedRedirects) {
    Options options = TestOptions();
    options.maxRedirects = 3;
    Response response;
    client->get(response, At("/data/10?redirect=4"), options);
    EXPECT_EQ(response.error.code, Error::TooManyRedirects);
    EXPECT_EQ(response.getAllHeaders().size(), 4u);
    EXPECT_TRUE(response.connectionMetrics.count("EFFECTIVE_URL"));

    options.followRedirects = false;
    client->get(response, At("/data/10?redirect=1"), options);
    EXPECT_EQ(response.error.code, Error::NoError);
    EXPECT_EQ(response.statusCode, 302);
    EXPECT_EQ(response.getAllHeaders().size(), 1u);
}

TEST_F(HttpClientTest, PostRedirectedWith303BecomesGet) {
    const std::string key = UniqueKey();
    server.script(key, R"([{"status": 303, "headers": {"Location": "/echo?record=)" + key + R"("}}])");
    Response response;
    client->post(response, At("/script/" + key), "payload", TestOptions());
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0]["method"], "POST");
    EXPECT_EQ(recorded[1]["method"], "GET");
    EXPECT_EQ(recorded[1]["body"], "");
}

TEST_F(HttpClientTest, RefusedConnectionIsConnectionFailureWithoutEffectiveUrl) {
    Response response;
    Request request{Url("http://127.0.0.1:" + std::to_string(ClosedPort(server)) + "/x"), {}, {}};
    client->get(response, request, TestOptions());
    EXPECT_EQ(response.error.code, Error::ConnectionFailure) << response.error.message;
    EXPECT_FALSE(response.error.message.empty());
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_EQ(response.connectionMetrics.count("EFFECTIVE_URL"), 0u);
}

TEST_F(HttpClientTest, ConnectionClosedWithoutAnswerIsEmptyResponse) {
    Response response;
    client->get(response, At("/data/10?hangup=1"), TestOptions());
    EXPECT_EQ(response.error.code, Error::EmptyResponse) << response.error.message;
    EXPECT_EQ(response.statusCode, 0);
    EXPECT_EQ(response.connectionMetrics.count("EFFECTIVE_URL"), 0u);
}

TEST_F(HttpClientTest, InvalidAndUnsupportedUrls) {
    Response response;
    client->get(response, Request{Url("not a url"), {}, {}}, TestOptions());
    EXPECT_EQ(response.error.code, Error::InvalidUrlFormat);
    client->get(response, Request{Url("ftp://127.0.0.1/file"), {}, {}}, TestOptions());
    EXPECT_EQ(response.error.code, Error::UnsupportedProtocol);
}

TEST_F(HttpClientTest, SlowAnswerTimesOut) {
    Options options = TestOptions();
    options.timeout = 1'000'000;  // 1 s for the whole request
    auto started = Clock::now();
    Response response;
    client->get(response, At("/data/10?delay=5000"), options);
    EXPECT_EQ(response.error.code, Error::OperationTimedOut) << response.error.message;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(3));
}

TEST_F(HttpClientTest, AnswerLaterThanLowSpeedTimeTimesOut) {
    Options options = TestOptions();
    options.lowSpeedTime = 1000;
    auto started = Clock::now();
    Response response;
    client->get(response, At("/data/10?delay=4000"), options);
    EXPECT_EQ(response.error.code, Error::OperationTimedOut) << response.error.message;
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2500));
}

TEST_F(HttpClientTest, StopPredicateAlreadyTrueSendsNothing) {
    const std::string key = UniqueKey();
    Options options = TestOptions();
    options.stop = [] { return true; };
    Response response;
    client->get(response, At("/data/10?record=" + key), options);
    EXPECT_EQ(response.error.code, Error::RequestCancelled);
    EXPECT_EQ(Recorded(server, key).size(), 0u);
    EXPECT_EQ(response.connectionMetrics.at("RESPONSE_CODE"), "0");
}

TEST_F(HttpClientTest, TrickleBelowLowSpeedLimitTimesOut) {
    Options options = TestOptions();
    options.lowSpeedLimit = 100'000;
    options.lowSpeedTime = 1000;
    auto started = Clock::now();
    Response response;
    client->get(response, At("/data/100000?rate=2000"), options);
    EXPECT_EQ(response.error.code, Error::OperationTimedOut) << response.error.message;
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(4));
}

TEST_F(HttpClientTest, StopPredicateEndsStalledBodyWithinASecond) {
    std::atomic<bool> stop{false};
    Options options = TestOptions();
    options.stop = [&] { return stop.load(); };
    std::uint64_t got = 0;
    Clock::time_point stalledAt{};
    options.progress = [&](std::uint64_t done, std::uint64_t) {
        got = done;
        if (done >= 5000 && stalledAt == Clock::time_point{}) {
            stalledAt = Clock::now();
            std::thread([&stop] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                stop = true;
            }).detach();
        }
    };
    Response response;
    client->get(response, At("/data/100000?stall_after=5000&stall=30"), options);
    auto ended = Clock::now();
    EXPECT_EQ(response.error.code, Error::RequestCancelled) << response.error.message;
    EXPECT_EQ(got, 5000u);
    ASSERT_NE(stalledAt, Clock::time_point{});
    EXPECT_LT(ended - stalledAt, std::chrono::milliseconds(500 + 1000));
    EXPECT_EQ(response.connectionMetrics.at("SIZE_DOWNLOAD"), "5000");
}

TEST_F(HttpClientTest, StopPredicateEndsWaitForHeaders) {
    Options options = TestOptions();
    auto started = Clock::now();
    options.stop = [&] { return Clock::now() - started > std::chrono::milliseconds(300); };
    Response response;
    client->get(response, At("/data/10?delay=10000"), options);
    EXPECT_EQ(response.error.code, Error::RequestCancelled);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(1500));
}

TEST_F(HttpClientTest, TruncatedBodyIsReceiveError) {
    Response response;
    client->get(response, At("/data/100000?drop_after=20000"), TestOptions());
    EXPECT_EQ(response.error.code, Error::NetworkReceiveError) << response.error.message;
    EXPECT_EQ(response.statusCode, 200);
}

TEST_F(HttpClientTest, HttpsWithSelfSignedCertificate) {
    Request request{Url(server.httpsUrl("/data/5000")), {}, {}};
    Options options = HttpsTestOptions();
    options.sslIgnoreCertificateErrors = false;
    Response response;
    client->get(response, request, options);
    EXPECT_TRUE(response.error.code == Error::SslRemoteCertificateError || response.error.code == Error::SslConnectError)
        << response.error.code << " " << response.error.message;
    EXPECT_EQ(response.statusCode, 0);

    // The server's certificate names 127.0.0.1 but chains to no trusted root: only the first flag matters.
    options.sslIgnoreHostNameMismatch = true;
    client->get(response, request, options);
    EXPECT_NE(response.error.code, Error::NoError);

    options.sslIgnoreCertificateErrors = true;
    options.sslIgnoreHostNameMismatch = false;
    client->get(response, request, options);
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;

    options.sslIgnoreHostNameMismatch = true;
    client->get(response, request, options);
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.body, PatternBytes(0, 5000));
    EXPECT_EQ(response.connectionMetrics.at("EFFECTIVE_URL"), server.httpsUrl("/data/5000"));
}

TEST_F(HttpClientTest, RedirectFromHttpsToHttpFailsBeforeAnythingTravelsInClear) {
    const std::string key = UniqueKey();
    const std::string plainKey = key + "-plain";
    const std::string secure = server.httpsUrl("/script/" + key);
    const std::string plain = server.httpUrl("/data/5000?record=" + plainKey);
    server.script(key, R"([{"status": 302, "headers": {"Location": ")" + plain + R"("}},
                           {"status": 301, "headers": {"Location": ")" + plain + R"("}}])");
    std::string received;
    Options options = HttpsTestOptions();
    options.sink = [&](std::string_view chunk) { received.append(chunk); };
    Testing::LogCapture log;

    Response response;
    client->get(response, Request{Url(secure), {}, {}}, options);
    EXPECT_EQ(response.error.code, Error::UnsupportedProtocol) << response.error.message;
    EXPECT_EQ(response.statusCode, 302);
    EXPECT_EQ(response.connectionMetrics.at("EFFECTIVE_URL"), secure);
    client->head(response, Request{Url(secure), {}, {}}, options);
    EXPECT_EQ(response.error.code, Error::UnsupportedProtocol) << response.error.message;
    EXPECT_EQ(response.statusCode, 301);

    EXPECT_TRUE(received.empty());
    EXPECT_TRUE(response.body.empty());
    EXPECT_TRUE(Recorded(server, plainKey).empty());
    EXPECT_TRUE(log.contains("Redirect from " + secure + " to " + plain + " refused", google::GLOG_WARNING))
        << log.text();
}

TEST_F(HttpClientTest, RedirectsFromHttpToHttpsAndWithinHttpsAreFollowed) {
    const std::string key = UniqueKey();
    // http, then https with two redirects of its own.
    server.script(key, R"([{"status": 302, "headers": {"Location": ")" + server.httpsUrl("/data/100?redirect=2") +
                           R"("}}])");
    Response response;
    client->get(response, At("/script/" + key), HttpsTestOptions());
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.statusCode, 200);
    EXPECT_EQ(response.body, PatternBytes(0, 100));
    EXPECT_EQ(response.getAllHeaders().size(), 4u);
    EXPECT_EQ(response.connectionMetrics.at("EFFECTIVE_URL"), server.httpsUrl("/data/100?redirect=0"));
}

TEST_F(HttpClientTest, ProxyFromOptionsCarriesTheRequest) {
    const std::string key = UniqueKey();
    Options options = TestOptions();
    options.proxy = "http://127.0.0.1:" + std::to_string(server.httpPort());
    Response response;
    // The target host does not exist: only the proxy can answer.
    client->get(response, Request{Url("http://origin.invalid:8080/data/64?record=" + key), {}, {}}, options);
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    EXPECT_EQ(response.body, PatternBytes(0, 64));
    auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0]["proxied"], true);
    EXPECT_EQ(recorded[0]["headers"]["Host"], "origin.invalid:8080");
}

TEST_F(HttpClientTest, UnusableProxyTextFailsAndSocksGoesDirect) {
    Options options = TestOptions();
    options.proxy = "gopher://127.0.0.1:1";
    Response response;
    client->get(response, At("/data/8"), options);
    EXPECT_EQ(response.error.code, Error::ProxyResolutionFailure);

    const std::string key = UniqueKey();
    options.proxy = "socks5://127.0.0.1:" + std::to_string(ClosedPort(server));
    client->get(response, At("/data/8?record=" + key), options);
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0]["proxied"], false);
}

TEST_F(HttpClientTest, AdaptersAddHeadersAndHttpVersionWithoutOverriding) {
    const std::string key = UniqueKey();
    std::shared_ptr<IHttpClient> wrapped = createHttpClient();
    wrapped = addSystemProxyAdapter(wrapped);
    wrapped = addAdapterWithHeader(wrapped, Headers{{"X-Extra", "from-adapter"}, {"Content-Type", "text/plain"}});
    wrapped = addHttpVersionAdapter(wrapped, HttpVersion::Http1_0);
    Request request = At("/echo?record=" + key);
    request.headers["content-type"] = "application/json";
    Response response;
    wrapped->post(response, request, "{}", TestOptions());
    ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
    auto recorded = Recorded(server, key);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(recorded[0]["headers"]["X-Extra"], "from-adapter");
    EXPECT_EQ(recorded[0]["headers"]["content-type"], "application/json");
    EXPECT_FALSE(recorded[0]["headers"].contains("Content-Type"));
    EXPECT_EQ(recorded[0]["proxied"], false);
    EXPECT_EQ(recorded[0]["version"], "HTTP/1.0");
}

TEST_F(HttpClientTest, ParallelRequestsDoNotDisturbEachOther) {
    std::vector<std::thread> threads;
    std::atomic<int> good{0};
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            auto own = createHttpClient();
            Response response;
            std::size_t size = 50000 + i * 1000;
            own->get(response, At("/data/" + std::to_string(size) + (i % 2 ? "?chunked=1" : "")), TestOptions());
            if (response.error.code == Error::NoError && response.body == PatternBytes(0, size)) ++good;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(good, 6);
}

} // namespace
