#pragma once
// What the window reports to the installer logic: what the user did and what was shown. Called on the splash UI
// thread (the logic also calls OnExit itself, from its own threads).
#include <string>

namespace Nolvar {

class ISplashEventObserver {
public:
    virtual ~ISplashEventObserver() = default;

    // Install button (also accepts the licence agreement).
    virtual void OnStartPressed() = 0;
    // Start button of the ready screen.
    virtual void OnReadyPressed() = 0;
    // Cancel and close roads; screen is a SplashScreen number, 0 when none.
    virtual void OnExit(int screen, const std::string& reason) = 0;
    virtual void OnEulaRequestSucceeded() = 0;
    virtual void OnEulaRequestFailed() = 0;
    virtual void OnEulaShown() = 0;
    virtual void OnEulaHidden() = 0;
    // Starts what can be started and skips the first failed item; not raised by the window.
    virtual void OnSkip() = 0;
    // Try again of the retry and warning pop-ups.
    virtual void OnRetryPressed() = 0;
    // Cancel, skip or close of the retry pop-up.
    virtual void OnRetryCancelled() = 0;
    // Folder button.
    virtual void OnSelectFolder() = 0;
    virtual void Reserved12() {}
    // After every screen change; imageShown tells whether the screen's image was drawn.
    virtual void OnScreenShown(int screen, bool imageShown) = 0;
    // A downloaded image was put on a screen; type is a SplashImageType number.
    virtual void OnScreenImageAdded(int type) = 0;
    // An information or retry pop-up was shown, with its final text.
    virtual void OnSomethingWrongShown(const std::string& text) = 0;
};

} // namespace Nolvar
