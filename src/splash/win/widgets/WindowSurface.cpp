#include "splash/win/widgets/WindowSurface.h"

#include <glog/logging.h>

#include "splash/win/CallFailed.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/widgets/WidgetBase.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

void WindowSurface::Create(ID2D1Factory* factory, HWND window, DeviceResources resources) {
    Adopt(CreateWidgetRenderTarget(factory, window), factory, window, std::move(resources));
}

void WindowSurface::Adopt(ComPtr<ID2D1DCRenderTarget> target, ID2D1Factory* factory, HWND window,
                          DeviceResources resources) {
    Release();
    m_factory = factory;
    m_window = window;
    m_resources = std::move(resources);
    m_target = std::move(target);
    m_lost = false;
    if (m_target && m_resources) m_resources(m_target.Get());
}

bool WindowSurface::Restore() {
    if (m_lost && m_factory && m_window) {
        m_target = CreateWidgetRenderTarget(m_factory.Get(), m_window);
        if (m_target) {
            m_lost = false;
            LOG(INFO) << "Render target made again after the display device was lost";
            if (m_resources) m_resources(m_target.Get());
        }
    }
    return m_target != nullptr;
}

void WindowSurface::Drawn(HRESULT endDrawResult) {
    if (endDrawResult != static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
        CallFailed(endDrawResult, "EndDraw");
        return;
    }
    LOG(WARNING) << "The display device was lost; the render target and its resources are made again";
    Release();
    m_lost = true;
    if (m_window) InvalidateRect(m_window, nullptr, FALSE);
}

void WindowSurface::Release() {
    if (m_target && m_resources) m_resources(nullptr);
    m_target.Reset();
}

WidgetPaint::WidgetPaint(WindowSurface& surface) : m_paint(surface.window()), m_surface(surface) {
    HDC dc = m_paint.dc();
    if (!dc || !m_surface.Restore()) return;
    RECT client{};
    GetClientRect(m_surface.window(), &client);
    if (client.right <= client.left || client.bottom <= client.top) return;
    ID2D1DCRenderTarget* target = m_surface.target();
    if (CallFailed(target->BindDC(dc, &client), "BindDC")) return;  // not painted
    const float dpi = static_cast<float>(HighDpiAwareness().dpi());
    target->SetDpi(dpi, dpi);
    target->BeginDraw();
    target->SetTransform(D2D1::Matrix3x2F::Identity());
    m_drawing = true;
}

HRESULT WidgetPaint::endDraw() {
    if (!m_drawing) return S_OK;
    m_drawing = false;
    const HRESULT hr = m_surface.target()->EndDraw();
    m_surface.Drawn(hr);
    return hr;
}

WidgetPaint::~WidgetPaint() {
    endDraw();
}

} // namespace Nolvar
