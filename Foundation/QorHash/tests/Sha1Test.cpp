#include <gtest/gtest.h>

#include "QorHash/Sha1.h"

TEST(Sha1, KnownDigests) {
    EXPECT_EQ(Nolvar::Util::SHA1(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(Nolvar::Util::SHA1("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(Nolvar::Util::SHA1(std::string("a\0b", 3)), "4a3dec2d1f8245280855c42db0ee4239f917fdb8");
    EXPECT_EQ(Nolvar::Util::SHA1(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}
