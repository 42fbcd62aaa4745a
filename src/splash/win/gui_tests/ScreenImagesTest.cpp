// The background each screen shows: the slideshow ring, and an image that arrives after its screen showed
// without it, with what the caption and the observer make of each.
#include "splash/win/ScreenImages.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "splash/win/SplashState.h"
#include "splash/win/gui_tests/RecordingSplashObserver.h"
#include "splash/win/gui_tests/TestImages.h"

using namespace Nolvar;

namespace {

// The images are told apart by their widths.
long Width(const SharedBitmap& bitmap) {
    BITMAP info{};
    return bitmap && GetObjectW(bitmap->get(), sizeof(info), &info) ? info.bmWidth : 0;
}

long Count(const Testing::RecordingSplashObserver& observer, const std::string& call) {
    const std::vector<std::string> calls = observer.Calls();
    return std::count(calls.begin(), calls.end(), call);
}

struct ScreenImagesTest : ::testing::Test {
    ImageLoader images;
    SplashState state;
    Testing::RecordingSplashObserver observer;
    ScreenImages screens{images, state, observer};
};

} // namespace

TEST_F(ScreenImagesTest, EachProgressScreenShowsTheNextSlideshowImageAndSkipsOnesThatCannotBeDecoded) {
    const ScreenBackground none = screens.Choose(SplashScreen::Progress);
    EXPECT_EQ(Width(none.bitmap), ImageLoader::kBlankWidth);
    EXPECT_TRUE(state.IsMissing(SplashImageType::Slideshow));
    EXPECT_TRUE(none.captionShown);
    EXPECT_FALSE(none.imageShown);

    state.AddSlideshowImage(SplashTest::SolidPng(4, 2, SplashTest::kProgressColour));
    state.AddSlideshowImage("not a png");
    state.AddSlideshowImage(SplashTest::SolidPng(6, 2, SplashTest::kProgressColour));
    state.AddSlideshowImage(SplashTest::SolidPng(8, 2, SplashTest::kProgressColour));
    std::vector<long> shown;
    for (int i = 0; i < 4; ++i) {
        const ScreenBackground background = screens.Choose(SplashScreen::Progress);
        shown.push_back(Width(background.bitmap));
        EXPECT_FALSE(background.captionShown);
        EXPECT_TRUE(background.imageShown);
    }
    EXPECT_EQ(shown, (std::vector<long>{4, 6, 8, 4}));
    EXPECT_EQ(Count(observer, "ScreenImageAdded 4"), 4);
}

TEST_F(ScreenImagesTest, ALateMainImageReplacesTheCaptionOnItsScreensAndIsReportedOnce) {
    state.SetMissing(SplashImageType::Main, true);
    const ScreenBackground without = screens.Choose(SplashScreen::Start);
    EXPECT_EQ(Width(without.bitmap), ImageLoader::kBlankWidth);
    EXPECT_TRUE(without.captionShown);
    EXPECT_FALSE(without.imageShown);
    EXPECT_FALSE(without.buttonsDrawIt);
    EXPECT_TRUE(screens.Choose(SplashScreen::Settings).imageShown) << "a screen without an image of its own";

    state.SetImage(SplashImageType::Main, SplashTest::SolidPng(10, 2, SplashTest::kStartColour));
    const ScreenBackground with = screens.Choose(SplashScreen::Start);
    EXPECT_EQ(Width(with.bitmap), 10);
    EXPECT_EQ(Width(screens.Choose(SplashScreen::Eula).bitmap), 10) << "decoded once, kept for its screens";
    EXPECT_FALSE(with.captionShown);
    EXPECT_TRUE(with.imageShown);
    EXPECT_TRUE(with.buttonsDrawIt);
    EXPECT_EQ(Count(observer, "ScreenImageAdded 1"), 1);
}
