#pragma once
// The background image of each screen of the splash window: the screen's own image (each showing of the progress
// screen takes the next image of the slideshow ring), else the blank one; and what follows from the choice for the
// caption, the buttons and the observer. Used on the window's thread only.
#include <deque>
#include <string>

#include "splash/ISplash.h"
#include "splash/win/ImageLoader.h"

namespace Nolvar {

class ISplashEventObserver;
class SplashState;

// A screen's background and what follows from it.
struct ScreenBackground {
    SharedBitmap bitmap;         // the screen's own image, else the blank one
    bool captionShown = false;   // the caption is drawn: the image is missing, or it fell back to the blank one
    bool imageShown = true;      // what the observer hears: screens without an image of their own count as shown
    bool buttonsDrawIt = false;  // the buttons draw it behind them: only while the main image is not missing
};

class ScreenImages {
public:
    // The images are decoded into and cached by `images`; `state` holds the encoded images and the missing flags;
    // the observer hears of an image shown in place of its caption.
    ScreenImages(ImageLoader& images, SplashState& state, ISplashEventObserver& observer);
    ScreenImages(const ScreenImages&) = delete;
    ScreenImages& operator=(const ScreenImages&) = delete;

    // The background of `screen`. Images handed over since the last choice are decoded now; one that cannot be
    // decoded is logged and the blank image stands in for it.
    ScreenBackground Choose(SplashScreen screen);

private:
    SharedBitmap NamedImage(const char* name, SplashImageType type);
    SharedBitmap NextSlideshowImage();

    ImageLoader& m_images;
    SplashState& m_state;
    ISplashEventObserver& m_observer;
    std::deque<std::string> m_slideshow;  // cache names of the slideshow ring, the next one in front
};

} // namespace Nolvar
