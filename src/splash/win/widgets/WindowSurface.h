#pragma once
// A widget window's Direct2D render target together with what is drawn with it (brushes, bitmaps), and one paint
// through it. When the device is lost (EndDraw answers D2DERR_RECREATE_TARGET: a display-driver reset, a remote
// session switch, sleep) both are released and the next paint makes them again.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <functional>

#include "QorPointer/PaintScope.h"

namespace Nolvar {

class WindowSurface {
public:
    // Makes (with a target) or releases (with null) the owner's device resources of the target.
    using DeviceResources = std::function<void(ID2D1DCRenderTarget* target)>;

    WindowSurface() = default;
    WindowSurface(const WindowSurface&) = delete;
    WindowSurface& operator=(const WindowSurface&) = delete;

    // Makes the window's render target and then the owner's resources for it (a target that cannot be made is
    // logged and left null).
    void Create(ID2D1Factory* factory, HWND window, DeviceResources resources);
    // The same with a render target made elsewhere (null when it could not be made).
    void Adopt(Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> target, ID2D1Factory* factory, HWND window,
               DeviceResources resources);

    ID2D1DCRenderTarget* target() const { return m_target.Get(); }
    HWND window() const { return m_window; }
    // Makes the target and its resources again when the device was lost; whether there is a target.
    bool Restore();
    // EndDraw's answer: a lost device releases the resources and the target and asks for another paint.
    void Drawn(HRESULT endDrawResult);
    // Releases the owner's resources and the target (before the owner's resources go).
    void Release();

private:
    Microsoft::WRL::ComPtr<ID2D1Factory> m_factory;
    HWND m_window = nullptr;
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> m_target;
    DeviceResources m_resources;
    bool m_lost = false;
};

// One WM_PAINT of a widget window: BeginPaint, the target made again if it was lost, bound to the paint DC, drawing
// begun; the destructor ends drawing and painting. Without a render target only the paint cycle runs.
class WidgetPaint {
public:
    explicit WidgetPaint(WindowSurface& surface);
    ~WidgetPaint();
    WidgetPaint(const WidgetPaint&) = delete;
    WidgetPaint& operator=(const WidgetPaint&) = delete;
    // Drawing has begun (the render target exists and was bound).
    bool drawing() const { return m_drawing; }
    // The target drawn into (null when not drawing).
    ID2D1DCRenderTarget* target() const { return m_drawing ? m_surface.target() : nullptr; }
    // Ends drawing early (later drawing goes through other targets); returns EndDraw's result.
    HRESULT endDraw();

private:
    Core::PaintScope m_paint;  // ends the paint after drawing has ended
    WindowSurface& m_surface;
    bool m_drawing = false;
};

} // namespace Nolvar
