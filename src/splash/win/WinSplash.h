#pragma once
// The installer's window: ISplash on a UI thread of its own.
#include <memory>

#include "splash/ISplash.h"

struct ID2D1Factory;

namespace Nolvar {

class WinSplash final : public ISplash {
public:
    // Writes the locale and installation-folder defaults, starts the UI thread and returns once it runs. The
    // window draws with `drawingFactory` (a multi-threaded Direct2D factory; null: it makes its own).
    explicit WinSplash(ISplashEventObserver& observer, ID2D1Factory* drawingFactory = nullptr);
    // Returns once the window shows its first frame, or has failed (at most as long as a call waits for the
    // window).
    void WaitUntilShown();
    // Asks the window to close (when Close was not called) and waits for the UI thread to end.
    ~WinSplash() override;
    WinSplash(const WinSplash&) = delete;
    WinSplash& operator=(const WinSplash&) = delete;

    void SetScreen(SplashScreen screen) override;
    void SetProgress(unsigned percent) override;
    void Close() override;
    void SetSplashImage(std::string encodedImage) override;
    void SetSplashImageMissing() override;
    void AddImage(SplashImageType type, std::string encodedImage) override;
    void SetImageMissing(SplashImageType type) override;
    void SetCaption(const std::string& caption) override;
    void SetCloseButtonHidden(int hidden) override;
    void ShowNoConnectionPopup() override;
    void ShowRetryPopup(const std::string& productDisplayName, ExitState exitState) override;
    void ShowPlatformPopup(const std::string& bitness) override;
    void ShowAlreadyRunningPopup(const std::string& productDisplayName) override;
    void ShowDiskSpacePopup(const std::string& folder, std::uint64_t requiredBytes,
                            std::uint64_t availableBytes) override;
    void ShowCloseProductPopup(const std::string& productDisplayName) override;

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
