#include "splash/win/widgets/OwnedWindow.h"

#include <stdexcept>

#include <glog/logging.h>

#include "splash/win/HighDpiAwarenessHelper.h"

namespace Nolvar {

namespace {

constexpr int kAppIconId = 10;

int ScaledCoordinate(long long value, unsigned dpi) {
    return value == CW_USEDEFAULT ? CW_USEDEFAULT : ScaleForDpi(value, dpi);
}

// The class is registered by the first window made of it; later windows of the class use that registration.
void RegisterClassOnce(HINSTANCE instance, const std::wstring& className, WNDPROC windowProc) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(instance, className.c_str(), &windowClass)) return;
    windowClass = WNDCLASSEXW{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = windowProc;
    windowClass.cbWndExtra = sizeof(void*);
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kAppIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = className.c_str();
    if (RegisterClassExW(&windowClass)) return;
    const DWORD error = GetLastError();  // before logging, which may change it
    if (error == ERROR_CLASS_ALREADY_EXISTS) return;  // registered meanwhile by another thread
    LOG(ERROR) << "RegisterClassExW failed for a widget window class, error " << error;
    throw std::runtime_error("CreateWindow failed!");
}

} // namespace

HWND CreateChildWindow(HWND parent, const std::wstring& className, const WidgetRect& rect, void* owner,
                       WNDPROC windowProc, DWORD style, int controlId) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RegisterClassOnce(instance, className, windowProc);

    const unsigned dpi = HighDpiAwareness().dpi();
    const int x = ScaledCoordinate(rect.left, dpi);
    const int y = ScaledCoordinate(rect.top, dpi);
    const int width = ScaleForDpi(rect.right, dpi) - (x == CW_USEDEFAULT ? 0 : x);
    const int height = ScaleForDpi(rect.bottom, dpi) - (y == CW_USEDEFAULT ? 0 : y);
    const WORD id = static_cast<WORD>(controlId & 0xFFFF);
    HWND window = CreateWindowExW(0, className.c_str(), className.c_str(), style, x, y, width, height, parent,
                                  id != 0 ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)) : nullptr, instance,
                                  nullptr);
    if (!window) {
        const DWORD error = GetLastError();  // before logging, which may change it
        LOG(ERROR) << "CreateWindowExW failed for a widget window, error " << error;
        throw std::runtime_error("CreateWindow failed!");
    }
    SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(owner));
    return window;
}

void ReportToRootOwner(HWND window) noexcept {
    if (HWND top = GetAncestor(window, GA_ROOTOWNER)) PostMessageW(top, kWidgetFailedMessage, 0, 0);
}

void ReportWindowProcFailure(HWND window, const char* what, const char* error) noexcept {
    try {
        LOG(ERROR) << what << " failed: " << error;
    } catch (...) {
    }
    ReportToRootOwner(window);
}

void LogWindowProcFailure(const char* what, const std::exception_ptr& failure) noexcept {
    try {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            LOG(ERROR) << what << " failed: " << e.what();
        } catch (...) {
            LOG(ERROR) << what << " failed: unknown exception";
        }
    } catch (...) {
    }
}

OwnedWindow::~OwnedWindow() {
    // Cleared first: the destruction's messages go to the system alone, never to a half-destroyed owner.
    if (m_window) SetWindowLongPtrW(m_window.get(), 0, 0);
    m_window.reset();
}

void OwnedWindow::Create(HWND parent, const std::wstring& className, const WidgetRect& rect, DWORD style,
                          int controlId, const char* what, Handler handler, FailureReaction onFailure) {
    m_what = what;
    m_handler = std::move(handler);
    m_onFailure = std::move(onFailure);
    m_window.reset(CreateChildWindow(parent, className, rect, this, &OwnedWindow::WindowProc, style, controlId));
}

OwnedWindow::Handler OwnedWindow::PaintOnly(std::function<void()> paint) {
    return [paint = std::move(paint)](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        if (message != WM_PAINT) return DefWindowProcW(window, message, wParam, lParam);
        paint();
        return 0;
    };
}

LRESULT CALLBACK OwnedWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    OwnedWindow* self = WindowOwner<OwnedWindow>(window);
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    // The handler may destroy its own widget (a parent that answers a click by closing): nothing of `self` is
    // touched after it, except at WM_NCDESTROY, which no owner answers by destroying itself.
    const LRESULT result = GuardedWindowProc(
        window, self->m_what, [&] { return self->m_handler(window, message, wParam, lParam); },
        [window](const std::exception_ptr& failure) { Failed(window, failure); });
    if (message == WM_NCDESTROY) {
        // Destroyed by the system (with its parent): the owner must not destroy it again.
        SetWindowLongPtrW(window, 0, 0);
        self->m_window.release();
    }
    return result;
}

void OwnedWindow::Failed(HWND window, const std::exception_ptr& failure) {
    // Looked up again: the handler may have destroyed the owner before it threw.
    const OwnedWindow* self = WindowOwner<OwnedWindow>(window);
    if (self && self->m_onFailure) {
        self->m_onFailure(failure);
    } else {
        ReportToRootOwner(window);
    }
}

} // namespace Nolvar
