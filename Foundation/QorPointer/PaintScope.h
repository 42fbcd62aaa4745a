#pragma once
// One WM_PAINT of a window: BeginPaint on construction, EndPaint on destruction.
#include <windows.h>

namespace Nolvar::Core {

class PaintScope {
public:
    explicit PaintScope(HWND window) : m_window(window), m_dc(BeginPaint(window, &m_paint)) {}
    ~PaintScope() { EndPaint(m_window, &m_paint); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    // The DC to paint on; null when BeginPaint failed.
    HDC dc() const { return m_dc; }

private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

}  // namespace Nolvar::Core
