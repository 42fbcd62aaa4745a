#include "splash/win/ScreenImages.h"

#include <glog/logging.h>

#include "splash/ISplashEventObserver.h"
#include "splash/win/SplashState.h"

namespace Nolvar {

namespace {

constexpr char kBlankImage[] = "splash_image_empty";

// The screens whose own image the observer hears about (the others report it shown).
bool HasImage(SplashScreen screen) {
    return screen == SplashScreen::Start || screen == SplashScreen::Progress || screen == SplashScreen::Wait ||
           screen == SplashScreen::Ready;
}

} // namespace

ScreenImages::ScreenImages(ImageLoader& images, SplashState& state, ISplashEventObserver& observer)
    : m_images(images), m_state(state), m_observer(observer) {}

ScreenBackground ScreenImages::Choose(SplashScreen screen) {
    SharedBitmap own;
    switch (ImageTypeOfScreen(screen).value_or(SplashImageType{})) {
    case SplashImageType::Main: own = NamedImage("splash_image", SplashImageType::Main); break;
    case SplashImageType::Wait: own = NamedImage("splash_image_wait", SplashImageType::Wait); break;
    case SplashImageType::Ready: own = NamedImage("splash_image_ready", SplashImageType::Ready); break;
    case SplashImageType::Slideshow: own = NextSlideshowImage(); break;
    default: break;
    }
    const bool missing = m_state.IsScreenImageMissing(screen);
    ScreenBackground background;
    background.captionShown = missing || (ImageTypeOfScreen(screen) && !own);
    background.imageShown = !HasImage(screen) || (own && !missing);
    background.buttonsDrawIt = !m_state.IsMissing(SplashImageType::Main);
    background.bitmap = own ? std::move(own) : m_images.Blank(kBlankImage);
    return background;
}

SharedBitmap ScreenImages::NamedImage(const char* name, SplashImageType type) {
    const std::string bytes = m_state.TakeImage(type);
    const bool cached = m_images.Cached(name);
    SharedBitmap bitmap = m_images.Load(name, bytes);
    if (!bitmap && !cached && !bytes.empty()) LOG(WARNING) << "Image " << name << " cannot be decoded";
    if (bitmap && m_state.IsMissing(type)) {
        m_observer.OnScreenImageAdded(static_cast<int>(type));
        m_state.SetMissing(type, false);  // the image stands in for the caption from now on
    }
    return bitmap;
}

SharedBitmap ScreenImages::NextSlideshowImage() {
    for (const std::string& bytes : m_state.TakeSlideshowImages()) {
        const std::string name = "splash_image" + std::to_string(m_slideshow.size());
        if (m_images.Load(name, bytes)) m_slideshow.push_back(name);
        else LOG(WARNING) << "Slideshow image " << name << " cannot be decoded";
    }
    if (m_slideshow.empty()) {
        m_state.SetMissing(SplashImageType::Slideshow, true);
        return nullptr;
    }
    m_state.SetMissing(SplashImageType::Slideshow, false);
    m_observer.OnScreenImageAdded(static_cast<int>(SplashImageType::Slideshow));
    const std::string name = m_slideshow.front();
    m_slideshow.pop_front();
    m_slideshow.push_back(name);
    return m_images.Load(name, nullptr, 0);
}

} // namespace Nolvar
