// The splash window inside the work area: a window that fits stays put, one pushed out below by its panel moves up
// just enough, one taller than the area keeps its top at the area's top.
#include <gtest/gtest.h>

#include "splash/win/WindowPlacement.h"

using namespace Nolvar;

namespace {

bool Same(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

#define EXPECT_RECT(actual, expected) EXPECT_PRED2(Same, actual, expected) << Text(actual)

// 1920 x 1080 with a task bar of 40 below; a second monitor to its right, 1366 x 768, without one.
constexpr RECT kWorkArea{0, 0, 1920, 1040};
constexpr RECT kSecondWorkArea{1920, 0, 3286, 768};

} // namespace

TEST(WindowPlacement, AWindowThatFitsKeepsItsPlace) {
    const RECT centred{457, 273, 1462, 903};  // the start screen at 144 DPI, centred for the image alone
    EXPECT_RECT(KeptInside(centred, kWorkArea), centred);
    const RECT touching{0, 0, 1920, 1040};
    EXPECT_RECT(KeptInside(touching, kWorkArea), touching);
    const RECT onSecond{2268, 206, 2938, 626};
    EXPECT_RECT(KeptInside(onSecond, kSecondWorkArea), onSecond);
}

TEST(WindowPlacement, AWindowPushedOutByItsPanelMovesUpJustEnough) {
    // The settings panel at 144 DPI: 1005 x 858 from the image's centred top, 91 below the task bar's edge.
    EXPECT_RECT(KeptInside(RECT{457, 273, 1462, 1131}, kWorkArea), (RECT{457, 182, 1462, 1040}));
    // At 96 DPI on 1366 x 768: 10 below.
    EXPECT_RECT(KeptInside(RECT{2268, 206, 2938, 778}, kSecondWorkArea), (RECT{2268, 196, 2938, 768}));
    // Out to the right (and below): moved left and up, into its own monitor's area.
    EXPECT_RECT(KeptInside(RECT{2900, 500, 3570, 1072}, kSecondWorkArea), (RECT{2616, 196, 3286, 768}));
}

TEST(WindowPlacement, AWindowLargerThanTheAreaKeepsItsTopLeftCornerOnIt) {
    // 670 x 572 DIPs at 192 DPI on 1366 x 768: taller than the area, its top at the area's top.
    EXPECT_RECT(KeptInside(RECT{2250, 300, 3590, 1444}, kSecondWorkArea), (RECT{1946, 0, 3286, 1144}));
    // Above the area (a work area below a top task bar) it comes down to the top.
    EXPECT_RECT(KeptInside(RECT{100, -50, 770, 522}, (RECT{0, 40, 1920, 1080})), (RECT{100, 40, 770, 612}));
}
