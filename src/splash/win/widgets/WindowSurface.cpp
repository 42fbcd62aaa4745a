#include "splash/win/widgets/WindowSurface.h"

#include <glog/logging.h>

#include "splash/win/CallFailed.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/widgets/WidgetDrawing.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

void WindowSurface::Create(ID2D1Factory* factory, HWND window, DeviceResources resources) {
    Adopt(CreateWidgetRenderTarget(factory, window), factory, window, std::move(resources));
}

void WindowSurface::Adopt(ComPtr<ID2D1DCRenderTarget> target, ID2D1Factory* factory, HWND window,
                          DeviceResources resources) {
    DiscardDeviceResources();
    m_factory = factory;
    m_window = window;
    m_resources = std::move(resources);
    m_target = std::move(target);
    m_lost = false;
    m_failedTries = m_target ? 0 : 1;  // the failure was logged where the target was made
    if (m_target && m_resources) m_resources(m_target.Get());
}

bool WindowSurface::CreateDeviceResources() {
    if (m_target) return true;
    if (!m_factory || !m_window) return false;
    m_target = CreateWidgetRenderTarget(m_factory.Get(), m_window,
                                        m_failedTries == 0 ? FailureLog::Logged : FailureLog::Quiet);
    if (!m_target) {
        ++m_failedTries;
        return false;
    }
    if (m_lost) {
        LOG(INFO) << "Render target made again after the display device was lost";
    } else if (m_failedTries > 0) {
        LOG(INFO) << "Render target made at try " << m_failedTries + 1;
    }
    m_lost = false;
    m_failedTries = 0;
    if (m_resources) m_resources(m_target.Get());
    return true;
}

void WindowSurface::DiscardDeviceResources() {
    if (m_target && m_resources) m_resources(nullptr);
    m_target.Reset();
}

void WindowSurface::Drawn(HRESULT endDrawResult) {
    if (endDrawResult != static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
        CallFailed(endDrawResult, "EndDraw");
        return;
    }
    LOG(WARNING) << "The display device was lost; the render target and its resources are made again";
    DiscardDeviceResources();
    m_lost = true;
    if (m_window) InvalidateRect(m_window, nullptr, FALSE);
}

WidgetPaint::WidgetPaint(WindowSurface& surface) : m_paint(surface.window()), m_surface(surface) {
    HDC dc = m_paint.dc();
    if (!dc || !m_surface.CreateDeviceResources()) return;
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
