#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include "utils/Settings.h"
#include "utils/UrlUtils.h"

using namespace Nolvar;

TEST(UrlUtils, FileNameIsTheLastDecodedSegment) {
    EXPECT_EQ(GetUrlFileName("https://cdn.example/a/b/setup.exe"), ioPath(L"setup.exe"));
    EXPECT_EQ(GetUrlFileName("https://cdn.example/a/folder/"), ioPath(L"folder"));
    EXPECT_EQ(GetUrlFileName("https://cdn.example/a/my%20setup.exe?x=1.png#frag.png"), ioPath(L"my setup.exe"));
    EXPECT_EQ(GetUrlFileName("https://cdn.example/a/%D0%A4.png"), ioPath(L"Ф.png"));
    EXPECT_EQ(GetUrlFileName("https://cdn.example"), ioPath());
    EXPECT_EQ(GetUrlFileName("https://cdn.example/"), ioPath());
    EXPECT_THROW(GetUrlFileName("http://bad host/x.exe"), boost::system::system_error);
}

TEST(UrlUtils, ExtensionCheckByKind) {
    EXPECT_TRUE(ValidateUrlExtensionForKind(DownloadKind::SplashImage, "https://cdn.example/i/start.png"));
    EXPECT_FALSE(ValidateUrlExtensionForKind(DownloadKind::SplashImage, "https://cdn.example/i/start.PNG"));
    EXPECT_FALSE(ValidateUrlExtensionForKind(DownloadKind::SplashImage, "https://cdn.example/i/start.exe"));
    EXPECT_TRUE(ValidateUrlExtensionForKind(DownloadKind::ProductInstaller, "https://cdn.example/p/setup.exe?v=2"));
    EXPECT_FALSE(ValidateUrlExtensionForKind(DownloadKind::ProductInstaller, "https://cdn.example/p/setup.Exe"));
    EXPECT_FALSE(ValidateUrlExtensionForKind(DownloadKind::ProductInstaller, "https://cdn.example"));
    EXPECT_FALSE(ValidateUrlExtensionForKind(DownloadKind::SplashImage, "https://cdn.example"));
    EXPECT_TRUE(ValidateUrlExtensionForKind(DownloadKind::Configuration, "https://cdn.example"));
    EXPECT_TRUE(ValidateUrlExtensionForKind(DownloadKind::Configuration, "https://cdn.example/config"));
    EXPECT_FALSE(ValidateUrlExtensionForKind(static_cast<DownloadKind>(3), "https://cdn.example/p/setup.exe"));
}

TEST(UrlUtils, StagingRewritesEveryReleaseOnlyWithAToken) {
    Settings::Set(Settings::ID::StagingToken, std::any(std::string()));
    EXPECT_EQ(ApplyStagingToUrl("https://cdn.example/release/a/release.png"), "https://cdn.example/release/a/release.png");
    Settings::Set(Settings::ID::StagingToken, std::any(std::string("qa")));
    EXPECT_EQ(ApplyStagingToUrl("https://cdn.example/release/a/release.png"),
              "https://cdn.example/staging/qa/a/staging/qa.png");
    Settings::Set(Settings::ID::StagingToken, std::any(std::string()));
}

TEST(UrlUtils, ConnectionMetricsGetHostPathAndQuery) {
    auto params = getConnectionMetricsParams(
        {{"EFFECTIVE_URL", "https://user@cdn.example:8443/a%20b/c?x=1%202&y=a+b#f"}, {"URI", "old"}, {"TIME", "5"}});
    EXPECT_EQ(params["SOURCE"], "cdn.example");
    EXPECT_EQ(params["URI"], "/a b/c");
    EXPECT_EQ(params["ARGS"], "x=1 2&y=a+b");
    EXPECT_EQ(params["TIME"], "5");

    const std::map<std::string, std::string> without{{"TIME", "5"}};
    EXPECT_EQ(getConnectionMetricsParams(without), without);
    const std::map<std::string, std::string> broken{{"EFFECTIVE_URL", "http://bad host/"}};
    EXPECT_EQ(getConnectionMetricsParams(broken), broken);
}
