#pragma once
// The plumbing of every window of the splash and its widgets, written once: the window made at the current DPI
// with its owner in the window's extra bytes, each message handed to the owner's handler (a member switch), the
// handle let go at WM_NCDESTROY, and the one guard that keeps exceptions away from user32.
#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar {

// Posted to a widget's root owner window (the splash main window) when a widget's window procedure caught an
// exception (wParam, lParam 0).
constexpr UINT kWidgetFailedMessage = WM_APP + 0x100;

// A rectangle in 96-DPI units; CW_USEDEFAULT as left or top stays CW_USEDEFAULT.
struct WidgetRect {
    long long left = 0;
    long long top = 0;
    long long right = 0;
    long long bottom = 0;
};

// Registers the class when it is not registered yet, makes the window scaled to the current DPI with the control
// id's low 16 bits (none for 0) and stores `owner` in the window's first extra slot.
// Throws std::runtime_error("CreateWindow failed!") when the class cannot be registered or the window made.
HWND CreateChildWindow(HWND parent, const std::wstring& className, const WidgetRect& rect, void* owner,
                       WNDPROC windowProc, DWORD style, int controlId);
// The owner stored by CreateChildWindow (null before it is stored and after it is cleared).
template <class T>
T* WindowOwner(HWND window) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, 0));
}

// Posts kWidgetFailedMessage to the window's root owner: a pop-up's widgets report to the window that owns the
// pop-up.
void ReportToRootOwner(HWND window) noexcept;
// Logs a window procedure's exception at ERROR and reports it to the root owner.
void ReportWindowProcFailure(HWND window, const char* what, const char* error) noexcept;
// Logs at ERROR as "<what> failed: <the exception's message>".
void LogWindowProcFailure(const char* what, const std::exception_ptr& failure) noexcept;

// The one exception guard of the window procedures: runs the handler; an exception is logged and handed to
// `onFailure` (a callable taking the std::exception_ptr), and the message counts as handled (0).
template <class Handler, class OnFailure>
LRESULT GuardedWindowProc(HWND, const char* what, Handler&& handler, OnFailure&& onFailure) noexcept {
    try {
        return handler();
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        LogWindowProcFailure(what, failure);
        try {
            onFailure(failure);
        } catch (...) {
        }
    }
    return 0;
}
// The same, reporting to the root owner with kWidgetFailedMessage.
template <class Handler>
LRESULT GuardedWindowProc(HWND window, const char* what, Handler&& handler) noexcept {
    return GuardedWindowProc(window, what, std::forward<Handler>(handler),
                             [window](const std::exception_ptr&) { ReportToRootOwner(window); });
}

// One window owned by an object, the splash itself or one of its widgets, whose messages go to the owner's handler.
// It is destroyed with this object, unless the system destroyed it before (child windows go with their parent); the
// handler sees no message of a destruction this object starts.
class OwnedWindow {
public:
    // The owner's member switch; it calls DefWindowProcW for what it leaves to the system.
    using Handler = std::function<LRESULT(HWND window, UINT message, WPARAM wParam, LPARAM lParam)>;
    // What the window does with an exception of its handler, once it is logged; the default reports it to the
    // root owner.
    using FailureReaction = std::function<void(const std::exception_ptr& failure)>;

    OwnedWindow() = default;
    ~OwnedWindow();
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;

    // Makes the window as CreateChildWindow does, with this object in its extra bytes; `what` (a literal) names
    // the window procedure in the failure log. Throws std::runtime_error("CreateWindow failed!").
    void Create(HWND parent, const std::wstring& className, const WidgetRect& rect, DWORD style, int controlId,
                const char* what, Handler handler, FailureReaction onFailure = {});

    HWND get() const noexcept { return m_window.get(); }
    explicit operator bool() const noexcept { return m_window.valid(); }

    // A handler that calls `paint` for WM_PAINT and leaves everything else to the system.
    static Handler PaintOnly(std::function<void()> paint);

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static void Failed(HWND window, const std::exception_ptr& failure);

    Core::UniqueWindow m_window;
    const char* m_what = "Window procedure";
    Handler m_handler;
    FailureReaction m_onFailure;
};

} // namespace Nolvar
