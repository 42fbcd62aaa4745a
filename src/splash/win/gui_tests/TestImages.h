#pragma once
// PNG files for the window tests, written without an image library (uncompressed deflate blocks).
#include <cstdint>
#include <string>

namespace SplashTest {

constexpr std::uint32_t kStartColour = 0x2878C8;      // 0xRRGGBB
constexpr std::uint32_t kProgressColour = 0x28B450;
constexpr std::uint32_t kWaitColour = 0xC88C28;

// A width x height RGB PNG of one colour.
std::string SolidPng(int width, int height, std::uint32_t rgb);

} // namespace SplashTest
