#pragma once
// What the widgets share: making their windows at the current DPI, their Direct2D render targets (bound to the
// paint DC in WM_PAINT), placing rectangles, their texts, painting a window's widgets, and window procedures that
// never let an exception reach user32.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "splash/win/widgets/IWidget.h"
#include "splash/win/widgets/WindowSurface.h"

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

// Registers the class (a second registration is harmless), makes the window scaled to the current DPI with the
// control id's low 16 bits (none for 0) and stores `owner` in the window's first extra slot.
// Throws std::runtime_error("CreateWindow failed!") when the window cannot be made.
HWND CreateChildWindow(HWND parent, const std::wstring& className, const WidgetRect& rect, void* owner,
                       WNDPROC windowProc, DWORD style, int controlId);
// The owner stored by CreateChildWindow (null before it is stored).
template <class T>
T* WindowOwner(HWND window) {
    return reinterpret_cast<T*>(GetWindowLongPtrW(window, 0));
}

// A render target for the window, bound to its paint DC in each WM_PAINT; null (and logged) when it cannot be made.
Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> CreateWidgetRenderTarget(ID2D1Factory* factory, HWND window);
Microsoft::WRL::ComPtr<ID2D1SolidColorBrush> CreateSolidBrush(ID2D1RenderTarget* target, const D2D1_COLOR_F& colour);
// The process's shared DirectWrite factory (null when it cannot be made).
Microsoft::WRL::ComPtr<IDWriteFactory> SharedDirectWriteFactory();

// Paints the window now when called on its thread; from another thread it only invalidates the window.
void RepaintWindow(HWND window);

// Places `size` inside `area`: alignment 0 start, 1 centre, 2 end, then offset, inset (both sides) and raise (top).
D2D1_RECT_F PlaceRect(const D2D1_RECT_F& area, const D2D1_SIZE_F& size, int hAlign, int vAlign,
                      const D2D1_POINT_2F& offset, float insetX, float raiseY);

// The text a widget shows: an override, else the text id's text in the current locale with one placeholder filled.
class TextSource {
public:
    TextSource(int textId = 0, std::wstring placeholderName = {});
    std::wstring text() const;
    void SetPlaceholderValue(std::wstring value) { m_placeholderValue = std::move(value); }
    void SetOverrideText(std::wstring text) { m_overrideText = std::move(text); }
    void SetTextId(int id);
    int textId() const { return m_textId; }

private:
    int m_textId;
    std::wstring m_placeholderName;
    std::wstring m_placeholderValue;
    std::wstring m_overrideText;
};

// Redraws the widgets that draw into `target` (inside the caller's drawing), ends the caller's drawing, then
// redraws the widgets with windows of their own. `endDraw` ends the caller's drawing.
template <class EndDraw>
void PaintWidgets(const std::vector<WidgetPtr>& widgets, ID2D1RenderTarget* target, EndDraw endDraw) {
    std::vector<IWidget*> own;
    std::vector<IWidget*> rest;
    for (const auto& widget : widgets) (widget->renderTarget() == target && target ? own : rest).push_back(widget.get());
    for (IWidget* widget : own) widget->redraw();
    endDraw();
    for (IWidget* widget : rest) widget->redraw();
}

// Logs a window procedure's exception at ERROR and posts kWidgetFailedMessage to the root owner window.
void ReportWindowProcFailure(HWND window, const char* what, const char* error) noexcept;

// Runs a window procedure's handler; an exception is logged at ERROR, reported to the top-level window with
// kWidgetFailedMessage and the message counts as handled.
template <class Handler>
LRESULT GuardedWindowProc(HWND window, const char* what, Handler&& handler) noexcept {
    try {
        return handler();
    } catch (const std::exception& e) {
        ReportWindowProcFailure(window, what, e.what());
    } catch (...) {
        ReportWindowProcFailure(window, what, "unknown exception");
    }
    return 0;
}

// The window procedure of a widget window that only paints: WM_PAINT calls the owner's paint(); at WM_NCDESTROY
// the owner lets go of its m_window, which the system destroys.
template <class Owner>
LRESULT PaintOnlyWindowProc(HWND window, UINT message, WPARAM wp, LPARAM lp, const char* what) noexcept {
    return GuardedWindowProc(window, what, [&]() -> LRESULT {
        Owner* self = WindowOwner<Owner>(window);
        if (self && message == WM_PAINT) {
            self->paint();
            return 0;
        }
        if (self && message == WM_NCDESTROY) self->m_window.release();
        return DefWindowProcW(window, message, wp, lp);
    });
}

// Colours from 0..255 bytes or from 0xRRGGBB.
constexpr D2D1_COLOR_F Rgb(int r, int g, int b) {
    return D2D1_COLOR_F{r / 255.0f, g / 255.0f, b / 255.0f, 1.0f};
}
constexpr D2D1_COLOR_F Rgb(unsigned rgb) {
    return Rgb(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF));
}

} // namespace Nolvar
