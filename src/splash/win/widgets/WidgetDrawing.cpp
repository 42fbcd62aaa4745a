#include "splash/win/widgets/WidgetDrawing.h"

#include <stdexcept>

#include <glog/logging.h>

#include "splash/win/CallFailed.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "utils/Localization.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

ComPtr<ID2D1DCRenderTarget> CreateWidgetRenderTarget(ID2D1Factory* factory, HWND window, FailureLog log) {
    if (!factory || !window) {
        LOG(ERROR) << "No Direct2D factory or window for a render target";
        return nullptr;
    }
    // Drawing is in DIPs at the DPI the windows are made for.
    const float dpi = static_cast<float>(HighDpiAwareness().dpi());
    const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
        D2D1_RENDER_TARGET_TYPE_DEFAULT, D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE), dpi,
        dpi);
    ComPtr<ID2D1DCRenderTarget> target;
    const HRESULT made = factory->CreateDCRenderTarget(&properties, &target);
    if (log == FailureLog::Logged) CallFailed(made, "CreateDCRenderTarget");
    return SUCCEEDED(made) ? target : nullptr;
}

ComPtr<ID2D1SolidColorBrush> CreateSolidBrush(ID2D1RenderTarget* target, const D2D1_COLOR_F& colour) {
    ComPtr<ID2D1SolidColorBrush> brush;
    if (target && CallFailed(target->CreateSolidColorBrush(colour, &brush), "CreateSolidColorBrush")) return nullptr;
    return brush;
}

ComPtr<IDWriteFactory> SharedDirectWriteFactory() {
    ComPtr<IDWriteFactory> factory;
    if (CallFailed(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                       reinterpret_cast<IUnknown**>(factory.GetAddressOf())),
                   "DWriteCreateFactory"))
        return nullptr;
    return factory;
}

void RepaintWindow(HWND window) {
    if (!window || !IsWindow(window)) return;
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId()) {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    } else {
        InvalidateRect(window, nullptr, FALSE);
    }
}

D2D1_RECT_F PlaceRect(const D2D1_RECT_F& area, const D2D1_SIZE_F& size, Align::Id hAlign, Align::Id vAlign,
                      const D2D1_POINT_2F& offset, float insetX, float raiseY) {
    const float freeX = (area.right - area.left) - size.width;
    const float freeY = (area.bottom - area.top) - size.height;
    const float shiftX = hAlign == Align::Centre ? freeX / 2 : hAlign == Align::End ? freeX : 0.0f;
    const float shiftY = vAlign == Align::Centre ? freeY / 2 : vAlign == Align::End ? freeY : 0.0f;
    D2D1_RECT_F placed;
    placed.left = area.left + shiftX + offset.x + insetX;
    placed.right = area.left + shiftX + offset.x + size.width - insetX;
    placed.top = area.top + shiftY + offset.y - raiseY;
    placed.bottom = area.top + shiftY + offset.y + size.height;
    return placed;
}

TextSource::TextSource(UiText::Id textId, std::wstring placeholderName)
    : m_textId(textId), m_placeholderName(std::move(placeholderName)) {}

std::wstring TextSource::text() const {
    if (!m_overrideText.empty()) return m_overrideText;
    if (m_textId == 0) return {};
    std::wstring text = Tr(m_textId);
    if (!m_placeholderName.empty()) {
        if (const auto at = text.find(m_placeholderName); at != std::wstring::npos)
            text.replace(at, m_placeholderName.size(), m_placeholderValue);
    }
    return text;
}

void TextSource::SetTextId(UiText::Id id) {
    m_textId = id;
    m_overrideText.clear();
}

} // namespace Nolvar
