#pragma once
// Where the splash window stands and how big it is: inside the work area of the monitor it is on (the screen less
// the task bar), at the size of its screen.
#include <windows.h>

#include <optional>

namespace Nolvar {

// The window moved as little as it takes to lie inside the work area, its size kept: up when it runs out below, left
// when it runs out to the right, but never above the area's top or left of its left edge (a window taller or wider
// than the area keeps its top-left corner, and so its logo and close button, on screen).
RECT KeptInside(const RECT& window, const RECT& workArea);

// The work area of the monitor the window is on (or nearest to), in physical pixels; none when it cannot be read.
std::optional<RECT> WorkAreaOf(HWND window);

// The splash window's place and size. Sizes are in DIPs, scaled at the window's DPI (the DPI helper's); every
// placement keeps the window inside the work area of its monitor, and a window that shrinks again keeps its top, so
// what the user just clicked stays under the pointer. Used on the window's thread.
class SplashPlacement {
public:
    // Centred on the primary screen.
    void CenterOnScreen(HWND window, int width, int height) const;

    // The image area of every screen: half the pixel size of the first screen's background.
    void SetImageArea(SIZE backgroundPixels);
    int imageWidth() const { return m_imageWidth; }    // -1 before the first screen
    int imageHeight() const { return m_imageHeight; }  // -1 before the first screen
    // The image area with a panel of `panelHeight` below it, centred on the primary screen.
    void CenterImageArea(HWND window, int panelHeight) const;
    // The image area with a panel of `panelHeight` below it, the top-left corner kept.
    void FitPanel(HWND window, int panelHeight) const;

    // Whether the user is dragging the window (between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE).
    void SetUserMoving(bool moving) { m_userMoving = moving; }
    // On another monitor or scale the window keeps its size; it is brought inside the work area there, unless the
    // user is dragging it (where the user drops it, it stays).
    void DpiChanged(HWND window) const;

private:
    int m_imageWidth = -1;
    int m_imageHeight = -1;
    bool m_userMoving = false;
};

} // namespace Nolvar
