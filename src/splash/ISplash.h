#pragma once
// The window as the installer logic drives it. The logic calls it on its loop thread; observer handlers that run on
// the UI thread may call the synchronous operations too.
#include <cstdint>
#include <memory>
#include <string>

#include "utils/ExitState.h"

namespace Nolvar {

class ISplashEventObserver;

// The screens of the window; None before the first switch.
enum class SplashScreen : std::int32_t {
    None = 0,
    Start = 1,
    Settings = 2,
    Eula = 3,
    Progress = 4,
    Wait = 5,
    Ready = 6,
    Cancel = 7,
};

// An image kind, numbered as the screen that shows it.
enum class SplashImageType : std::int32_t {
    Main = 1,        // screens 1 to 3
    Slideshow = 4,   // screen 4
    Wait = 5,        // screens 5 and 7
    Ready = 6,       // screen 6
};

// An encoded image holds the complete bytes of a PNG file.
class ISplash {
public:
    virtual ~ISplash() = default;

    virtual void Reserved1() {}
    // Returns after the window has switched to the screen and painted it.
    virtual void SetScreen(SplashScreen screen) = 0;
    // 0..100; synchronous.
    virtual void SetProgress(unsigned percent) = 0;
    virtual void Reserved4() {}
    // Destroys the window and ends the UI thread's message loop; synchronous. Call it before destroying the splash.
    virtual void Close() = 0;
    // The main image, used from the next screen switch on, or at once by a screen that shows without it; returns at
    // once.
    virtual void SetSplashImage(std::string encodedImage) = 0;
    // The main image is not available; returns at once.
    virtual void SetSplashImageMissing() = 0;
    // Returns at once, except that a slideshow image while the progress screen shows re-shows it synchronously.
    virtual void AddImage(SplashImageType type, std::string encodedImage) = 0;
    // The image of type 4, 5 or 6 is not available; returns at once.
    virtual void SetImageMissing(SplashImageType type) = 0;
    // Drawn where a screen's image is missing; returns at once.
    virtual void SetCaption(const std::string& caption) = 0;
    // 1 hides the close button; returns at once.
    virtual void SetCloseButtonHidden(int hidden) = 0;

    // Pop-ups: each returns once the pop-up is shown; the user's answer comes through ISplashEventObserver.
    // Waits first for the window to exist.
    virtual void ShowNoConnectionPopup() = 0;
    virtual void ShowRetryPopup(const std::string& productDisplayName, ExitState exitState) = 0;
    virtual void ShowPlatformPopup(const std::string& bitness) = 0;
    virtual void ShowAlreadyRunningPopup(const std::string& productDisplayName) = 0;
    // Called only when requiredBytes exceeds availableBytes.
    virtual void ShowDiskSpacePopup(const std::string& folder, std::uint64_t requiredBytes,
                                    std::uint64_t availableBytes) = 0;
    virtual void ShowCloseProductPopup(const std::string& productDisplayName) = 0;
};

// Starts the splash UI thread and returns once it runs (the window may appear later). The observer must outlive
// the splash.
std::unique_ptr<ISplash> CreateSplash(ISplashEventObserver& observer);

} // namespace Nolvar
