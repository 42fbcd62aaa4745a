#include <gtest/gtest.h>

#include "QorNetworking/NativeProxyProvider.h"
#include "QorNetworking/ProxyList.h"
#include "QorNetworking/ProxyText.h"

using namespace Nolvar::Networking;
using Detail::SelectProxy;
using Proxy = IProxyProvider::Proxy;

TEST(ProxyTest, SelectsTheEntryForTheUrlScheme) {
    const char* list = "http=web:8080;https=secure:8443;socks=sock:1081";
    EXPECT_EQ(SelectProxy(list, "", Url("http://a.example/")), (Proxy{Proxy::Http, "web", 8080}));
    EXPECT_EQ(SelectProxy(list, "", Url("https://a.example/")), (Proxy{Proxy::Http, "secure", 8443}));
    EXPECT_EQ(SelectProxy("socks=sock:1081", "", Url("https://a.example/")), (Proxy{Proxy::Socks4, "sock", 1081}));
    EXPECT_EQ(SelectProxy("proxy.corp:3128", "", Url("https://a.example/")), (Proxy{Proxy::Http, "proxy.corp", 3128}));
    EXPECT_EQ(SelectProxy("proxy.corp", "", Url("http://a.example/")), (Proxy{Proxy::Http, "proxy.corp", 80}));
    EXPECT_EQ(SelectProxy("socks5://s5:1090", "", Url("http://a.example/")), (Proxy{Proxy::Socks5, "s5", 1090}));
    EXPECT_EQ(SelectProxy("https://tls:443", "", Url("http://a.example/")), (Proxy{Proxy::Https, "tls", 443}));
    EXPECT_EQ(SelectProxy("ftp=f:21", "", Url("http://a.example/")), Proxy{});
    EXPECT_EQ(SelectProxy("", "", Url("http://a.example/")), Proxy{});
    EXPECT_EQ(SelectProxy("p:notaport", "", Url("http://a.example/")), Proxy{});
}

TEST(ProxyTest, BypassListAndLoopbackGoDirect) {
    const char* list = "proxy:3128";
    EXPECT_EQ(SelectProxy(list, "*.internal.example;<local>", Url("http://files.internal.example/")), Proxy{});
    EXPECT_EQ(SelectProxy(list, "*.internal.example;<local>", Url("http://intranet/")), Proxy{});
    EXPECT_EQ(SelectProxy(list, "*.internal.example;<local>", Url("http://www.example/")).host, "proxy");
    EXPECT_EQ(SelectProxy(list, "", Url("http://127.0.0.1:8000/")), Proxy{});
    EXPECT_EQ(SelectProxy(list, "", Url("http://localhost/")), Proxy{});
    EXPECT_EQ(SelectProxy(list, "www.example:8080", Url("http://www.example:8080/")), Proxy{});
    EXPECT_EQ(SelectProxy(list, "www.example:8080", Url("http://www.example/")).host, "proxy");
}

TEST(ProxyTest, ProxyTextOfTheOptions) {
    using Detail::ParseProxyText;
    using Kind = Detail::ProxyText::Kind;
    EXPECT_EQ(ParseProxyText("")->kind, Kind::Direct);
    auto http = ParseProxyText("http://proxy.corp:3128");
    ASSERT_TRUE(http);
    EXPECT_EQ(http->kind, Kind::Http);
    EXPECT_EQ(http->host, "proxy.corp");
    EXPECT_EQ(http->port, 3128);
    EXPECT_EQ(ParseProxyText("https://p:1")->kind, Kind::Http);
    EXPECT_EQ(ParseProxyText("p")->port, 80);
    EXPECT_EQ(ParseProxyText("socks5://s:1080")->kind, Kind::Socks);
    EXPECT_EQ(ParseProxyText("[::1]:8080")->host, "[::1]");
    EXPECT_FALSE(ParseProxyText("ftp://p:21"));
    EXPECT_FALSE(ParseProxyText("http://:80"));
    EXPECT_FALSE(ParseProxyText("http://p:99999"));
    EXPECT_FALSE(ParseProxyText("http://user@p:80"));
}

TEST(ProxyTest, ProviderAnswersAndProxyTextRoundTrips) {
    EXPECT_EQ(ProxyToString(Proxy{Proxy::Http, "p", 3128}), "http://p:3128");
    EXPECT_EQ(ProxyToString(Proxy{Proxy::Socks5, "s", 1080}), "socks5://s:1080");
    EXPECT_EQ(ProxyToString(Proxy{}), "");
    EXPECT_EQ(ProxyToString(Proxy{7, "x", 1}), "");

    NativeProxyProvider provider;
    // Loopback never goes through a proxy, whatever the user's settings.
    EXPECT_EQ(provider.getProxy("http://127.0.0.1:1/x"), Proxy{});
    EXPECT_EQ(provider.getProxy("not a url"), Proxy{});
}
