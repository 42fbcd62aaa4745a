// The user's proxy settings (in the test prefix's registry) reach the client through the system proxy adapter.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "QorNetworking/HttpClient.h"
#include "QorNetworking/NativeProxyProvider.h"
#include "testing/ProxySettings.h"
#include "testing/RawTcpServer.h"
#include "testing/TestServer.h"

using namespace Nolvar::Networking;
using Proxy = IProxyProvider::Proxy;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

using Testing::ConnectionSettings;
using Testing::ConnectionSettingsScope;
using Testing::kAutoConfigUrl;
using Testing::kManualProxy;

// Both cases in one test: they share the user's settings. What the script answers is the point here, not how long
// the lookup takes (on a loaded machine it has taken longer than the product's bound), so this provider waits far
// longer; the tests below measure the bound.
TEST(SystemProxyTest, ManualSettingsAndConfigurationScript) {
    Testing::TestServer server;
    auto provider = std::make_shared<NativeProxyProvider>(60s, std::chrono::minutes(5));
    {
        ConnectionSettingsScope scope(ConnectionSettings(kManualProxy | 1, "http=manual.proxy:3128;socks=s:1080",
                                                         "*.skip.invalid;<local>", ""));
        EXPECT_EQ(provider->getProxy("http://www.example.invalid/x"), (Proxy{Proxy::Http, "manual.proxy", 3128}));
        EXPECT_EQ(provider->getProxy("https://www.example.invalid/x"), (Proxy{Proxy::Socks4, "s", 1080}));
        EXPECT_EQ(provider->getProxy("http://a.skip.invalid/"), Proxy{});
        EXPECT_EQ(provider->getProxy("http://intranet/"), Proxy{});
    }
    {
        const std::string key = "SystemProxyTest";
        server.putFile("system-proxy-test.pac",
                       "function FindProxyForURL(url, host) {\n"
                       "  if (host == 'pac-target.invalid') return 'PROXY 127.0.0.1:" +
                           std::to_string(server.httpPort()) + "';\n"
                       "  return 'DIRECT';\n}\n");
        ConnectionSettingsScope scope(
            ConnectionSettings(kAutoConfigUrl | 1, "", "", server.httpUrl("/files/system-proxy-test.pac")));
        EXPECT_EQ(provider->getProxy("http://pac-target.invalid/data/16"),
                  (Proxy{Proxy::Http, "127.0.0.1", server.httpPort()}));
        EXPECT_EQ(provider->getProxy("http://other.invalid/"), Proxy{});

        auto client = addProxyAdapter(createHttpClient(), provider);
        Options options{1024, 5, 30'000'000, true, 3, 20'000, true};
        Response response;
        client->get(response, Request{Url("http://pac-target.invalid/data/16?record=" + key), {}, {}}, options);
        ASSERT_EQ(response.error.code, Error::NoError) << response.error.message;
        EXPECT_EQ(response.body.size(), 16u);
        auto recorded = nlohmann::json::parse(server.recorded(key));
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_EQ(recorded[0]["proxied"], true);
        server.reset(key);
    }
}

template <typename F>
Clock::duration Timed(F&& f) {
    const auto started = Clock::now();
    f();
    return Clock::now() - started;
}

TEST(SystemProxyTest, ConfigurationScriptThatNeverArrivesIsBoundedReusedAndStoppable) {
    Testing::RawTcpServer silent(Testing::RawTcpServer::Behaviour::Silent);
    ConnectionSettingsScope scope(ConnectionSettings(kAutoConfigUrl | kManualProxy | 1, "http=manual.proxy:3128", "",
                                                     silent.url("/never.pac")));
    NativeProxyProvider provider(1500ms, std::chrono::minutes(5));

    // Bounded: the manual settings serve once the lookup has taken its time.
    Proxy proxy;
    auto took = Timed([&] { proxy = provider.getProxy("http://first.invalid/x"); });
    EXPECT_EQ(proxy, (Proxy{Proxy::Http, "manual.proxy", 3128}));
    EXPECT_GE(took, 1400ms);
    EXPECT_LT(took, 1500ms + 5s);

    // The unfinished lookup of that host is not waited for again.
    took = Timed([&] { proxy = provider.getProxy("http://first.invalid/y"); });
    EXPECT_EQ(proxy, (Proxy{Proxy::Http, "manual.proxy", 3128}));
    EXPECT_LT(took, 500ms);

    // A request's stop predicate ends the wait for another host's lookup.
    const auto started = Clock::now();
    took = Timed([&] { provider.getProxy("http://second.invalid/", [&] { return Clock::now() - started > 200ms; }); });
    EXPECT_LT(took, 1s);
}

TEST(SystemProxyTest, RequestStopsWhileTheConfigurationScriptNeverArrives) {
    Testing::RawTcpServer silent(Testing::RawTcpServer::Behaviour::Silent);
    ConnectionSettingsScope scope(ConnectionSettings(kAutoConfigUrl | 1, "", "", silent.url("/never.pac")));
    // The product's own limits: only the stop predicate can end the lookup early.
    auto client = addSystemProxyAdapter(createHttpClient());
    Options options{1024, 5, 30'000'000, true, 3, 20'000, true};
    const auto started = Clock::now();
    options.stop = [&] { return Clock::now() - started > 300ms; };
    Response response;
    client->get(response, Request{Url("http://stopped.invalid/data/16"), {}, {}}, options);
    EXPECT_EQ(response.error.code, Error::RequestCancelled) << response.error.message;
    EXPECT_LT(Clock::now() - started, 1300ms);
}

} // namespace
