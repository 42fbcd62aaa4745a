#include "splash/win/WindowPlacement.h"

#include <glog/logging.h>

#include "splash/win/HighDpiAwarenessHelper.h"

namespace Nolvar {

namespace {

// The shift that brings [low, high) inside [areaLow, areaHigh), the low end winning when both cannot be.
LONG ShiftInside(LONG low, LONG high, LONG areaLow, LONG areaHigh) {
    LONG shift = 0;
    if (high > areaHigh) shift = areaHigh - high;
    if (low + shift < areaLow) shift = areaLow - low;
    return shift;
}

} // namespace

RECT KeptInside(const RECT& window, const RECT& workArea) {
    const LONG dx = ShiftInside(window.left, window.right, workArea.left, workArea.right);
    const LONG dy = ShiftInside(window.top, window.bottom, workArea.top, workArea.bottom);
    return RECT{window.left + dx, window.top + dy, window.right + dx, window.bottom + dy};
}

std::optional<RECT> WorkAreaOf(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
    if (!monitor || !GetMonitorInfoW(monitor, &info)) {
        LOG(WARNING) << "The work area of the window's monitor cannot be read (error " << GetLastError()
                     << "); the window is placed without it";
        return std::nullopt;
    }
    return info.rcWork;
}

namespace {

int Scaled(int value) { return ScaleForDpi(value, HighDpiAwareness().dpi()); }

// Every placement of the window goes through here: it is moved up (or left) as far as it takes to lie inside the
// work area of its monitor.
void PlaceInsideWorkArea(HWND window, const RECT& wanted) {
    const std::optional<RECT> area = WorkAreaOf(window);
    const RECT rect = area ? KeptInside(wanted, *area) : wanted;
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

void SplashPlacement::CenterOnScreen(HWND window, int width, int height) const {
    const int w = Scaled(width);
    const int h = Scaled(height);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    PlaceInsideWorkArea(window, RECT{left, top, left + w, top + h});
}

void SplashPlacement::SetImageArea(SIZE backgroundPixels) {
    m_imageWidth = static_cast<int>(backgroundPixels.cx / 2);
    m_imageHeight = static_cast<int>(backgroundPixels.cy / 2);
}

void SplashPlacement::CenterImageArea(HWND window, int panelHeight) const {
    CenterOnScreen(window, m_imageWidth, m_imageHeight + panelHeight);
}

void SplashPlacement::FitPanel(HWND window, int panelHeight) const {
    RECT rect{};
    GetWindowRect(window, &rect);
    PlaceInsideWorkArea(window, RECT{rect.left, rect.top, rect.left + Scaled(m_imageWidth),
                                     rect.top + Scaled(m_imageHeight + panelHeight)});
}

void SplashPlacement::DpiChanged(HWND window) const {
    if (m_userMoving) return;
    RECT rect{};
    GetWindowRect(window, &rect);
    PlaceInsideWorkArea(window, rect);
}

} // namespace Nolvar
