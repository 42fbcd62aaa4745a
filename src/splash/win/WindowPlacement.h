#pragma once
// Where the splash window may stand: inside the work area of the monitor it is on (the screen less the task bar).
#include <windows.h>

#include <optional>

namespace Nolvar {

// The window moved as little as it takes to lie inside the work area, its size kept: up when it runs out below, left
// when it runs out to the right, but never above the area's top or left of its left edge (a window taller or wider
// than the area keeps its top-left corner, and so its logo and close button, on screen).
RECT KeptInside(const RECT& window, const RECT& workArea);

// The work area of the monitor the window is on (or nearest to), in physical pixels; none when it cannot be read.
std::optional<RECT> WorkAreaOf(HWND window);

} // namespace Nolvar
