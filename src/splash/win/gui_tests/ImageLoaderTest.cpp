// Images from the executable's resources and from bytes: decoded once per name, corrupt bytes refused without
// poisoning the cache, transparency over white, and drawn through Direct2D.
#include "splash/win/ImageLoader.h"

#include <gtest/gtest.h>

#include "splash/win/gui_tests/WidgetTestSupport.h"
#include "testing/WindowProbe.h"

namespace {

using namespace WidgetTesting;
using Nolvar::FindImageResource;
using Nolvar::ImageLoader;

constexpr int kInfoIcon = 12;

SIZE BitmapSize(const Nolvar::SharedBitmap& bitmap) {
    BITMAP info{};
    GetObjectW(bitmap->get(), sizeof(info), &info);
    return SIZE{info.bmWidth, info.bmHeight};
}

TEST(ImageLoaderTest, AResourceIsDecodedOnceAndCachedUnderItsHandle) {
    ImageLoader loader;
    HRSRC resource = FindImageResource(kInfoIcon);
    ASSERT_NE(resource, nullptr);
    auto first = loader.LoadResource(resource);
    ASSERT_TRUE(first);
    auto second = loader.LoadResource(resource);
    EXPECT_EQ(first.get(), second.get());
    const SIZE size = BitmapSize(first);
    EXPECT_EQ(size.cx, 128);
    EXPECT_EQ(size.cy, 128);
    EXPECT_EQ(FindImageResource(999), nullptr);
    EXPECT_FALSE(loader.LoadResource(nullptr));
}

TEST(ImageLoaderTest, ANamedImageKeepsItsFirstBitmap) {
    ImageLoader loader;
    auto main = loader.Load("splash_image", ImageFileBytes("splash-main.png"));
    ASSERT_TRUE(main);
    EXPECT_EQ(BitmapSize(main).cx, 1340);
    EXPECT_EQ(BitmapSize(main).cy, 712);
    auto again = loader.Load("splash_image", ImageFileBytes("splash-wait.png"));
    EXPECT_EQ(main.get(), again.get());
}

TEST(ImageLoaderTest, CorruptOrEmptyBytesGiveNoImageAndLeaveTheNameFree) {
    ImageLoader loader;
    EXPECT_FALSE(loader.Load("splash_image", std::string("this is no PNG")));
    EXPECT_FALSE(loader.Load("splash_image", std::string()));
    const std::string png = ImageFileBytes("splash-main.png");
    ASSERT_GT(png.size(), 200u);
    EXPECT_FALSE(loader.Load("splash_image", png.substr(0, 120)));
    EXPECT_FALSE(loader.Cached("splash_image"));
    EXPECT_TRUE(loader.Load("splash_image", png));
}

TEST(ImageLoaderTest, TheBlankImageIsWhiteAtTheSplashSize) {
    auto factory = CreateFactory();
    ImageLoader loader;
    auto blank = loader.Blank("splash_image_empty");
    ASSERT_TRUE(blank);
    EXPECT_EQ(BitmapSize(blank).cx, 1340);
    EXPECT_EQ(BitmapSize(blank).cy, 712);
    EXPECT_EQ(loader.Blank("splash_image_empty").get(), blank.get());

    OffscreenTarget target(factory.Get(), 64, 64);
    auto bitmap = loader.ToDirect2D(blank, target.target());
    ASSERT_TRUE(bitmap);
    target.begin();
    target.target()->Clear(D2D1::ColorF(1, 0, 0));
    target.target()->DrawBitmap(bitmap.Get(), D2D1::RectF(0, 0, 64, 64));
    ASSERT_HRESULT_SUCCEEDED(target.end());
    EXPECT_TRUE(Testing::ColourNear(target.pixel(32, 32), 0xFFFFFF, 4));
}

TEST(ImageLoaderTest, ATransparentPngIsDrawnOverWhite) {
    auto factory = CreateFactory();
    ImageLoader loader;
    OffscreenTarget target(factory.Get(), 128, 128);
    auto icon = loader.ToDirect2D(loader.LoadResource(FindImageResource(kInfoIcon)), target.target());
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->GetPixelSize().width, 128u);
    target.begin();
    target.target()->Clear(D2D1::ColorF(1, 0, 0));
    target.target()->DrawBitmap(icon.Get(), D2D1::RectF(0, 0, 128, 128), 1.0f,
                                D2D1_BITMAP_INTERPOLATION_MODE_NEAREST_NEIGHBOR);
    ASSERT_HRESULT_SUCCEEDED(target.end());
    // The corner is transparent in the file: white, not the red under it.
    EXPECT_TRUE(Testing::ColourNear(target.pixel(2, 2), 0xFFFFFF, 8)) << std::hex << target.pixel(2, 2);
    // The disc is orange.
    EXPECT_TRUE(Testing::ColourNear(target.pixel(30, 64), 0xF0A020, 40)) << std::hex << target.pixel(30, 64);
}

} // namespace
