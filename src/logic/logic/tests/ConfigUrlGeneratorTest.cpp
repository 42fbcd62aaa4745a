#include <gtest/gtest.h>

#include "QorOS/SystemInfo.h"
#include "logic/logic/ConfigUrlGenerator.h"
#include "utils/Settings.h"

using namespace Nolvar;

namespace {

void SetText(Settings::ID id, const std::string& value) { Settings::Set(id, std::any(value)); }

class ConfigUrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetText(Settings::ID::HardwareId, "0f1e2d3c-aaaa-5bbb-8ccc-0123456789ab");
        SetText(Settings::ID::ProductId, "netsetter");
        SetText(Settings::ID::InstallerVersion, "2.0.0");
        SetText(Settings::ID::Partner, "");
        SetText(Settings::ID::OsNameVersion, "Windows10-0-19045");
        SetText(Settings::ID::OsBits, "64");
        SetText(Settings::ID::BundleName, "");
        SetText(Settings::ID::BrandName, "nolvaria");
        SetText(Settings::ID::ConfigName, "");
    }
};

std::string Query(const std::string& webUid) {
    return "huid=0f1e2d3c-aaaa-5bbb-8ccc-0123456789ab&webuid=" + webUid +
           "&app=netsetter_netsetter&app_ver=2-0-0&partner=&os=Windows10-0-19045&os_bits=64&platform=" +
           Core::AppBits() + "&cpu_arch=" + Core::ProcessorArchitecture() + "&bundle_name=&brand=nolvaria";
}

} // namespace

TEST_F(ConfigUrlTest, MarkerGetsTheQueryInOrderAndIsStoredBack) {
    SetText(Settings::ID::ConfigUrl, "https://config.netsetter.example/release/config.json?v=1-TAIL_WITH_ARGS-");
    ConfigUrlGenerator generator;
    const std::string url = generator.Generate("web 1&2");
    EXPECT_EQ(url, "https://config.netsetter.example/release/config.json?v=1&" + Query("web%201%262"));
    EXPECT_EQ(Settings::GetString(Settings::ID::ConfigUrl, ""), url);
    EXPECT_EQ(Settings::GetString(Settings::ID::ConfigName, ""), "");
    // A second call finds no marker.
    EXPECT_EQ(generator.Generate("other"), url);
    EXPECT_EQ(Settings::GetString(Settings::ID::ConfigName, ""), "CONFIG_FROM_STATIC");
}

TEST_F(ConfigUrlTest, OnlyAMarkerAtTheEndCounts) {
    ConfigUrlGenerator generator;
    for (const std::string plain : {"https://a.example/x", "-TAIL_WITH_ARGS", "https://a.example/-TAIL_WITH_ARGS-/c", ""}) {
        SetText(Settings::ID::ConfigName, "");
        SetText(Settings::ID::ConfigUrl, plain);
        EXPECT_EQ(generator.Generate("w"), plain);
        EXPECT_EQ(Settings::GetString(Settings::ID::ConfigName, ""), "CONFIG_FROM_STATIC");
        EXPECT_EQ(Settings::GetString(Settings::ID::ConfigUrl, ""), plain);
    }
    SetText(Settings::ID::ConfigUrl, "https://a.example/c.json-TAIL_WITH_ARGS--TAIL_WITH_ARGS-");
    EXPECT_EQ(generator.Generate("w"), "https://a.example/c.json?" + Query("w"));
    SetText(Settings::ID::ConfigUrl, "-TAIL_WITH_ARGS-");
    const std::string bare = generator.Generate("w");
    EXPECT_NE(bare.find("huid=0f1e2d3c"), std::string::npos) << bare;
    EXPECT_EQ(Settings::GetString(Settings::ID::ConfigUrl, ""), bare);
}

TEST_F(ConfigUrlTest, UnsetSettingsGiveEmptyValues) {
    Settings::Set(Settings::ID::Partner, std::any());
    Settings::Set(Settings::ID::BundleName, std::any(true)); // a value of another type reads as empty
    SetText(Settings::ID::ConfigUrl, "https://a.example/c-TAIL_WITH_ARGS-");
    const std::string url = ConfigUrlGenerator().Generate("");
    EXPECT_NE(url.find("&webuid=&"), std::string::npos);
    EXPECT_NE(url.find("&partner=&"), std::string::npos);
    EXPECT_NE(url.find("&bundle_name=&"), std::string::npos);
}
