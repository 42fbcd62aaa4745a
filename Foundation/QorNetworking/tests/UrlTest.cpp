#include <gtest/gtest.h>

#include "QorNetworking/Url.h"

using Nolvar::Networking::Url;

TEST(UrlTest, ParsesComponentsOfAbsoluteUrls) {
    Url url("https://Example.COM:8443/a/b%20c?x=1#frag", Url::ParsingMode::Lenient);
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.scheme(), "https");
    EXPECT_EQ(url.host(), "Example.COM");
    EXPECT_EQ(url.port(), 8443);
    EXPECT_EQ(url.pathAndQuery(), "/a/b%20c?x=1");

    EXPECT_EQ(Url("http://h").port(), 80);
    EXPECT_EQ(Url("https://h").port(), 443);
    EXPECT_EQ(Url("http://h").pathAndQuery(), "/");
    EXPECT_EQ(Url("http://[::1]:81/").host(), "::1");
    EXPECT_EQ(Url("HTTP://h/").scheme(), "http");
}

TEST(UrlTest, RejectsTextThatIsNotAnAbsoluteUrl) {
    for (const char* text : {"", "not a url", "/relative/path", "http://", "mailto:someone@example.com"}) {
        Url url(text);
        EXPECT_FALSE(url.isValid()) << text;
        EXPECT_EQ(url.toString(), text);
    }
}

TEST(UrlTest, LenientModeEncodesWhatAUriCannotHold) {
    Url url("  http://h/путь/a b?q=x y|z  ", Url::ParsingMode::Lenient);
    ASSERT_TRUE(url.isValid());
    EXPECT_EQ(url.toString(), "http://h/%D0%BF%D1%83%D1%82%D1%8C/a%20b?q=x%20y%7Cz");
    EXPECT_EQ(Url("http://h/100%/x%41").toString(), "http://h/100%25/x%41");
    EXPECT_FALSE(Url("http://h/a b", Url::ParsingMode::Strict).isValid());
}

TEST(UrlTest, AddParameterAppendsEncodedPairsInCallOrder) {
    Url url("https://cfg.example/config.json?v=1");
    url.addParameter("huid", "A&B=C").addParameter("webuid", "").addParameter("os", "Windows 10+ ü");
    EXPECT_EQ(url.toString(), "https://cfg.example/config.json?v=1&huid=A%26B%3DC&webuid=&os=Windows%2010%2B%20%C3%BC");
    EXPECT_TRUE(url.isValid());

    Url bare("http://h/p#top");
    bare.addParameter("a", "1").addParameter("b", "2");
    EXPECT_EQ(bare.toString(), "http://h/p?a=1&b=2#top");
    EXPECT_EQ(bare.pathAndQuery(), "/p?a=1&b=2");

    Url copy = bare;
    copy.addParameter("c", "3");
    EXPECT_EQ(bare.toString(), "http://h/p?a=1&b=2#top");
    EXPECT_EQ(copy.toString(), "http://h/p?a=1&b=2&c=3#top");
}

TEST(UrlTest, ResolvesRedirectLocations) {
    Url base("http://h:8080/dir/file?q=1");
    EXPECT_EQ(base.resolve("/other?x=2")->toString(), "http://h:8080/other?x=2");
    EXPECT_EQ(base.resolve("next")->toString(), "http://h:8080/dir/next");
    EXPECT_EQ(base.resolve("https://elsewhere/")->toString(), "https://elsewhere/");
    EXPECT_EQ(base.resolve("//cdn.example/f")->toString(), "http://cdn.example/f");
    EXPECT_FALSE(Url("nonsense").resolve("/x"));
}
