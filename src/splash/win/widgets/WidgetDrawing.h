#pragma once
// What the widgets share besides their windows (OwnedWindow): their Direct2D render targets (bound to the paint DC
// in WM_PAINT), placing rectangles, their texts and painting a window's widgets.
#include <windows.h>
#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "splash/win/TextIds.h"
#include "splash/win/widgets/IWidget.h"
#include "splash/win/widgets/OwnedWindow.h"
#include "splash/win/widgets/WindowSurface.h"

namespace Nolvar {

// Whether a failed call is logged: a retry of a failure already logged is quiet.
enum class FailureLog { Logged, Quiet };

// A render target for the window, bound to its paint DC in each WM_PAINT; null (and logged, unless quiet) when it
// cannot be made.
Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> CreateWidgetRenderTarget(ID2D1Factory* factory, HWND window,
                                                                     FailureLog log = FailureLog::Logged);
// A brush of the target's device; null without a target (when the owner's resources are released) or on failure.
Microsoft::WRL::ComPtr<ID2D1SolidColorBrush> CreateSolidBrush(ID2D1RenderTarget* target, const D2D1_COLOR_F& colour);
// The process's shared DirectWrite factory (null when it cannot be made).
Microsoft::WRL::ComPtr<IDWriteFactory> SharedDirectWriteFactory();

// Paints the window now when called on its thread; from another thread it only invalidates the window.
void RepaintWindow(HWND window);

// Where a rectangle sits inside another, on one axis.
namespace Align {
enum Id : int { Start = 0, Centre = 1, End = 2 };
} // namespace Align

// Places `size` inside `area` by the alignments (Align), then offset, inset (both sides) and raise (top).
D2D1_RECT_F PlaceRect(const D2D1_RECT_F& area, const D2D1_SIZE_F& size, Align::Id hAlign, Align::Id vAlign,
                      const D2D1_POINT_2F& offset, float insetX, float raiseY);

// The text a widget shows: an override, else the text id's text in the current locale with one placeholder filled.
class TextSource {
public:
    explicit TextSource(UiText::Id textId = UiText::None, std::wstring placeholderName = {});
    std::wstring text() const;
    void SetPlaceholderValue(std::wstring value) { m_placeholderValue = std::move(value); }
    void SetOverrideText(std::wstring text) { m_overrideText = std::move(text); }
    void SetTextId(UiText::Id id);
    UiText::Id textId() const { return m_textId; }

private:
    UiText::Id m_textId;
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

// Colours from 0..255 bytes or from 0xRRGGBB.
constexpr D2D1_COLOR_F Rgb(int r, int g, int b) {
    return D2D1_COLOR_F{r / 255.0f, g / 255.0f, b / 255.0f, 1.0f};
}
constexpr D2D1_COLOR_F Rgb(unsigned rgb) {
    return Rgb(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb & 0xFF));
}

} // namespace Nolvar
