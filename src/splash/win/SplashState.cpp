#include "splash/win/SplashState.h"

#include <algorithm>
#include <utility>

namespace Nolvar {

std::optional<SplashImageType> ImageTypeOfScreen(SplashScreen screen) {
    switch (screen) {
    case SplashScreen::Start: case SplashScreen::Settings: case SplashScreen::Eula: return SplashImageType::Main;
    case SplashScreen::Progress: return SplashImageType::Slideshow;
    case SplashScreen::Wait: case SplashScreen::Cancel: return SplashImageType::Wait;
    case SplashScreen::Ready: return SplashImageType::Ready;
    default: return std::nullopt;
    }
}

std::size_t SplashState::Slot(SplashImageType type) {
    switch (type) {
    case SplashImageType::Main: return 0;
    case SplashImageType::Slideshow: return 1;
    case SplashImageType::Wait: return 2;
    case SplashImageType::Ready: return 3;
    }
    return 0;
}

void SplashState::SetImage(SplashImageType type, std::string encodedImage) {
    std::lock_guard lock(m_imagesMutex);
    m_images[Slot(type)] = std::move(encodedImage);
}

std::string SplashState::TakeImage(SplashImageType type) {
    std::lock_guard lock(m_imagesMutex);
    return std::exchange(m_images[Slot(type)], std::string());
}

void SplashState::AddSlideshowImage(std::string encodedImage) {
    std::lock_guard lock(m_imagesMutex);
    m_pendingSlideshow.push_back(std::move(encodedImage));
}

std::vector<std::string> SplashState::TakeSlideshowImages() {
    std::lock_guard lock(m_imagesMutex);
    return std::exchange(m_pendingSlideshow, {});
}

void SplashState::SetMissing(SplashImageType type, bool missing) { m_missing[Slot(type)].store(missing); }

bool SplashState::IsMissing(SplashImageType type) const { return m_missing[Slot(type)].load(); }

bool SplashState::IsScreenImageMissing(SplashScreen screen) const {
    const auto type = ImageTypeOfScreen(screen);
    return type && IsMissing(*type);
}

void SplashState::SetCaption(std::string caption) {
    std::lock_guard lock(m_textMutex);
    m_caption = std::move(caption);
}

std::string SplashState::Caption() const {
    std::lock_guard lock(m_textMutex);
    return m_caption;
}

void SplashState::SetPlaceholder(const std::wstring& name, std::wstring value) {
    std::lock_guard lock(m_textMutex);
    const auto found = std::find_if(m_placeholders.begin(), m_placeholders.end(),
                                    [&](const auto& entry) { return entry.first == name; });
    if (found != m_placeholders.end()) found->second = std::move(value);
    else m_placeholders.emplace_back(name, std::move(value));
}

std::optional<std::wstring> SplashState::Placeholder(const std::wstring& name) const {
    std::lock_guard lock(m_textMutex);
    for (const auto& [key, value] : m_placeholders)
        if (key == name) return value;
    return std::nullopt;
}

} // namespace Nolvar
