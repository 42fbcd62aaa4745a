#pragma once
// The splash main window on the UI thread: its screens, painting and pop-ups. Made, used and destroyed on the UI
// thread only; other threads reach it through window messages (see WinSplash).
#include <exception>
#include <memory>

#include <windows.h>

struct ID2D1Factory;

namespace Nolvar {

class ISplashEventObserver;
class SplashState;

// What the window tells the object that owns its thread.
class ISplashWindowHost {
public:
    virtual ~ISplashWindowHost() = default;
    // The window exists and shows its first frame (called once, on the UI thread, before any message from
    // another thread is handled).
    virtual void OnWindowCreated(HWND window) = 0;
    // The window is being destroyed; its handle must no longer be used.
    virtual void OnWindowDestroyed() = 0;
};

class SplashWindow {
public:
    // Creates and shows the window and paints its first frame (the spinner view, until the first screen), drawing
    // with `factory` (a multi-threaded Direct2D factory; null: the window makes its own once the first frame is
    // shown). Throws std::runtime_error when a part the window cannot do without fails.
    SplashWindow(ISplashEventObserver& observer, SplashState& state, ISplashWindowHost& host,
                 ID2D1Factory* factory = nullptr);
    ~SplashWindow();
    SplashWindow(const SplashWindow&) = delete;
    SplashWindow& operator=(const SplashWindow&) = delete;

    // Destroys the window and ends the thread's message loop.
    void Close();
    // The exception a message handler raised, if any (the message loop then ends).
    std::exception_ptr Failure() const;

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
