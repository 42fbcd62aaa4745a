#include <gtest/gtest.h>

#include "QorNetworking/Response.h"

using namespace Nolvar::Networking;

TEST(ResponseTest, ReadsTheThreeHttpDateForms) {
    EXPECT_EQ(ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
    EXPECT_EQ(ParseHttpDate("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(ParseHttpDate("Tue, 14 Nov 2023 22:13:20 GMT"), 1700000000);
    EXPECT_EQ(ParseHttpDate("Thu, 29 Feb 2024 00:00:00 GMT"), 1709164800);
    EXPECT_FALSE(ParseHttpDate(""));
    EXPECT_FALSE(ParseHttpDate("yesterday"));
    EXPECT_FALSE(ParseHttpDate("Sun, 06 Nov 1994 25:49:37 GMT"));
    EXPECT_FALSE(ParseHttpDate("Sun, 06 Nov 1994"));
}

TEST(ResponseTest, LastModifiedIsZeroWhenAbsentOrUnreadable) {
    Response response;
    EXPECT_EQ(response.getLastModified(), 0);
    response.headers["last-modified"] = "Tue, 14 Nov 2023 22:13:20 GMT";
    EXPECT_EQ(response.getLastModified(), 1700000000);
    response.headers["LAST-MODIFIED"] = "garbage";
    EXPECT_EQ(response.getLastModified(), 0);
}

TEST(ResponseTest, HeaderNamesCompareWithoutCase) {
    Headers headers{{"Content-Type", "a"}};
    headers["content-type"] = "b";
    headers.emplace("X-Other", "c");
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers.at("CONTENT-TYPE"), "b");
    EXPECT_EQ(headers.begin()->first, "Content-Type");
    CaseInsensitiveCompare less;
    EXPECT_TRUE(less("abc", "ABD"));
    EXPECT_FALSE(less("ABC", "abc"));
    EXPECT_TRUE(less("ab", "ABC"));
}
