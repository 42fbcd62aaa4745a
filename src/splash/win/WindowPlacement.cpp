#include "splash/win/WindowPlacement.h"

#include <glog/logging.h>

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

} // namespace Nolvar
