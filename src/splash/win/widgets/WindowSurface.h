#pragma once
// A widget window's Direct2D render target together with what is drawn with it (brushes, bitmaps), and one paint
// through it. Each paint starts by making the target and the owner's resources for it when there is none: the
// first time, after a target could not be made, and after the device was lost (EndDraw answers
// D2DERR_RECREATE_TARGET: a display-driver reset, a remote session switch, sleep), when both were released.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <functional>

#include "QorPointer/PaintScope.h"

namespace Nolvar {

class WindowSurface {
public:
    // Makes (with a target) or releases (with null) the owner's device resources of the target: brushes, and the
    // targets of its DeviceBitmaps and labels. Never called during drawing.
    using DeviceResources = std::function<void(ID2D1DCRenderTarget* target)>;

    WindowSurface() = default;
    WindowSurface(const WindowSurface&) = delete;
    WindowSurface& operator=(const WindowSurface&) = delete;

    // Makes the window's render target and then the owner's resources for it; a target that cannot be made is
    // logged, and tried again on the next paint.
    void Create(ID2D1Factory* factory, HWND window, DeviceResources resources);
    // The same with a render target made elsewhere (null when it could not be made, logged there).
    void Adopt(Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> target, ID2D1Factory* factory, HWND window,
               DeviceResources resources);

    ID2D1DCRenderTarget* target() const { return m_target.Get(); }
    HWND window() const { return m_window; }
    // No target, make one: the target and the owner's resources for it; whether there is a target. Only the
    // first failure of a row is logged.
    bool CreateDeviceResources();
    // Releases the owner's resources and then the target (before the owner's resources go).
    void DiscardDeviceResources();
    // EndDraw's answer: a lost device discards the resources and the target and asks for another paint.
    void Drawn(HRESULT endDrawResult);

private:
    Microsoft::WRL::ComPtr<ID2D1Factory> m_factory;
    HWND m_window = nullptr;
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> m_target;
    DeviceResources m_resources;
    bool m_lost = false;       // discarded after a lost device
    int m_failedTries = 0;     // targets that could not be made since the last one that could
};

// One WM_PAINT of a widget window: BeginPaint, the surface's device resources made if there are none, the target
// bound to the paint DC, drawing begun; the destructor ends drawing and painting. Without a render target only the
// paint cycle runs.
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
