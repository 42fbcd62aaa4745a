#include <gtest/gtest.h>

#include "logic/logic/tests/ConfigTestSupport.h"
#include "utils/Resources.h"

using namespace Nolvar;

TEST(Resources, RcDataByNameInAnyLetterCase) {
    const std::string config = LoadRcDataResource("IDR_DEFAULT_CFG");
    EXPECT_NE(config.find("\"data\""), std::string::npos);
    EXPECT_EQ(LoadRcDataResource("idr_default_cfg"), config);
    EXPECT_EQ(LoadRcDataResource("NO_SUCH_RESOURCE"), "");
    EXPECT_EQ(LoadRcDataResource(""), "");
}

TEST(Resources, NoLicenceTextGivesEmptyText) {
    Settings::Set(Settings::ID::Locale, std::any(std::string("ru-RU")));
    EXPECT_EQ(GetEulaText(), ""); // this program carries no licence texts
    Settings::Set(Settings::ID::Locale, std::any(std::string("en-US")));
}
