#pragma once
// What the installer logic hands to the splash window and the UI thread reads: the encoded images, the missing-image
// flags, the caption, the pop-up placeholder values and the current screen. Every member is safe to use from any
// thread.
#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "splash/ISplash.h"

namespace Nolvar {

// A screen as the interfaces typed int carry it (the observer's calls, the SetScreen message), and back.
constexpr int ScreenNumber(SplashScreen screen) { return static_cast<int>(screen); }
constexpr SplashScreen ScreenOfNumber(int number) { return static_cast<SplashScreen>(number); }

// The image kind a screen shows: main for start, settings and licence, slideshow for progress, wait for wait and
// cancel, ready for ready; none otherwise.
std::optional<SplashImageType> ImageTypeOfScreen(SplashScreen screen);

class SplashState {
public:
    // Encoded images (whole PNG files). The Take operations move the bytes out, leaving nothing behind.
    void SetImage(SplashImageType type, std::string encodedImage);
    std::string TakeImage(SplashImageType type);
    void AddSlideshowImage(std::string encodedImage);
    std::vector<std::string> TakeSlideshowImages();

    void SetMissing(SplashImageType type, bool missing);
    bool IsMissing(SplashImageType type) const;
    // The missing flag of the image the screen shows; false for a screen without one.
    bool IsScreenImageMissing(SplashScreen screen) const;

    void SetCaption(std::string caption);
    std::string Caption() const;

    // A later value for the same placeholder replaces the earlier one: each pop-up shows its own request's value.
    void SetPlaceholder(const std::wstring& name, std::wstring value);
    std::optional<std::wstring> Placeholder(const std::wstring& name) const;

    void SetScreen(SplashScreen screen) { m_screen.store(screen); }
    SplashScreen Screen() const { return m_screen.load(); }

private:
    static std::size_t Slot(SplashImageType type);

    mutable std::mutex m_imagesMutex;
    std::array<std::string, 4> m_images;            // main, slideshow (unused), wait, ready
    std::vector<std::string> m_pendingSlideshow;
    std::array<std::atomic<bool>, 4> m_missing{};
    mutable std::mutex m_textMutex;
    std::string m_caption;
    std::vector<std::pair<std::wstring, std::wstring>> m_placeholders;
    std::atomic<SplashScreen> m_screen{SplashScreen::None};
};

} // namespace Nolvar
