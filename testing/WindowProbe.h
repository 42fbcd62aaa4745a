#pragma once
// Finds, inspects and drives windows of any process on the same desktop (under Wine: the same prefix and display),
// for window tests and for the command-line tool in testing/window_tool.
//
// Input comes in two kinds: Real input goes through SendInput (the pointer really moves; hooks, capture, hover and
// clicks outside a window behave as for a user), Posted input is posted to the window as mouse or key messages
// (no pointer, no hooks; useful when the window is covered or not in front).
// Rectangles are in screen pixels; points given to the input functions are in the window's client pixels.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "QorPointer/UniqueHandle.h"

namespace Testing {

struct WindowInfo {
    HWND hwnd = nullptr;
    int controlId = 0;          // GWLP_ID (0 for top-level windows without a menu id)
    std::wstring className;
    std::wstring text;
    RECT screenRect{};          // whole window, screen pixels
    RECT clientScreenRect{};    // client area, screen pixels
    bool visible = false;
    bool enabled = false;
    HWND parent = nullptr;
};

// The first visible top-level window whose class and title equal the given ones (an empty one matches any);
// processId 0 matches any process. nullptr when none.
HWND FindTopWindow(const std::wstring& className, const std::wstring& title, DWORD processId = 0);
// Polls FindTopWindow until it finds one or the time is up.
HWND WaitForTopWindow(const std::wstring& className, const std::wstring& title, std::chrono::milliseconds timeout,
                      DWORD processId = 0);
// Waits until the window no longer exists; false on time-out.
bool WaitForWindowGone(HWND window, std::chrono::milliseconds timeout);

WindowInfo DescribeWindow(HWND window);
// Every descendant (children, their children, ...), depth first in Z order.
std::vector<WindowInfo> ListDescendants(HWND parent);
// The first descendant with this control id; nullptr when none.
HWND FindDescendantById(HWND parent, int controlId);
// The first descendant of this class (and title, when not empty); nullptr when none.
HWND FindDescendantByClass(HWND parent, const std::wstring& className, const std::wstring& title = {});

enum class InputMode { Real, Posted };
enum class MouseButton { Left, Right };

// Brings the window's top-level window to the front (needed for Real key input).
void BringToFront(HWND window);
// Moves the pointer over the client point (Real) or posts WM_MOUSEMOVE there (Posted).
bool Hover(HWND window, POINT clientPoint, InputMode mode = InputMode::Real);
bool Click(HWND window, POINT clientPoint, InputMode mode = InputMode::Real, MouseButton button = MouseButton::Left);
bool ClickCenter(HWND window, InputMode mode = InputMode::Real);
// Presses the left button at `from`, moves in steps to `to` and releases there (client points).
bool Drag(HWND window, POINT from, POINT to, InputMode mode = InputMode::Real);
// One wheel turn of `delta` (WHEEL_DELTA = 120 is one notch up, negative is down) over the client point.
bool Wheel(HWND window, int delta, POINT clientPoint, InputMode mode = InputMode::Real);
// Presses and releases each virtual key in turn. Real keys go to the focused window of the foreground thread.
bool PressKeys(HWND window, const std::vector<WORD>& virtualKeys, InputMode mode = InputMode::Real);
// Types text as characters.
bool TypeText(HWND window, const std::wstring& text, InputMode mode = InputMode::Real);
// Virtual key for a name such as "ENTER", "ESC", "TAB", "SPACE", "UP", "DOWN", "LEFT", "RIGHT", "PGUP", "PGDN",
// "HOME", "END", "F1".."F12", a single letter or digit, or a number ("0x0D", "13"); 0 when unknown.
WORD VirtualKeyFromName(const std::wstring& name);

// Posts WM_COMMAND with the id (for example IDOK or IDCANCEL to a dialog) or WM_CLOSE.
bool PostCommand(HWND window, int id);
bool PostClose(HWND window);

// Pixels read back from the screen, 0xRRGGBB each, row by row from the top.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // How many pixels of the rectangle (clipped to the capture) satisfy `predicate`.
    template <class Predicate>
    int count(RECT area, Predicate predicate) const {
        int n = 0;
        for (int y = std::max<int>(area.top, 0); y < std::min<int>(area.bottom, height); ++y)
            for (int x = std::max<int>(area.left, 0); x < std::min<int>(area.right, width); ++x)
                if (predicate(at(x, y))) ++n;
        return n;
    }
    // Writes a 24-bit BMP file (for looking at a failed test).
    bool saveBmp(const std::wstring& file) const;
};

// A top-down 32-bit bitmap (DIB section) of `dc`'s format; `bits` points at its pixels, row by row from the top
// (0x00RRGGBB in the low bytes). Empty, with `bits` null, when it cannot be made.
Nolvar::Core::UniqueGdiObject<HBITMAP> CreatePixelBitmap(HDC dc, int width, int height, std::uint32_t*& bits);

// The window's client area as it is on the screen now (covered parts show what covers them).
std::optional<Capture> CaptureClient(HWND window);
// A rectangle of the screen.
std::optional<Capture> CaptureScreen(RECT screenArea);
// Repaints the window and its children and waits a little for the drawing to reach the screen, then captures.
std::optional<Capture> CaptureClientAfterRepaint(HWND window);

// Colour helpers on 0xRRGGBB values.
inline int Red(std::uint32_t c) { return (c >> 16) & 0xFF; }
inline int Green(std::uint32_t c) { return (c >> 8) & 0xFF; }
inline int Blue(std::uint32_t c) { return c & 0xFF; }
// Every channel within `tolerance` of the expected colour.
bool ColourNear(std::uint32_t actual, std::uint32_t expected, int tolerance = 24);
// Brightness (max channel) at most `limit`.
bool IsDark(std::uint32_t colour, int limit = 96);

// Lets the calling thread's windows handle their messages for a while (tests that own the windows they drive).
void PumpMessagesFor(std::chrono::milliseconds duration);
// Pumps messages until `done()` is true or the time is up; returns done().
template <class Done>
bool PumpMessagesUntil(Done done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        PumpMessagesFor(std::chrono::milliseconds(10));
    }
    return true;
}

// Path of the command-line window tool built beside the tests (from NETSETTER_BIN_DIR).
std::wstring WindowToolPath();

struct ToolResult {
    int exitCode = -1;      // -1 when the tool could not be started or did not end in time
    std::string output;     // its standard output (UTF-8)
};
// Runs the window tool with the arguments (each quoted as needed) and collects its output; pumps the calling
// thread's messages meanwhile, so the tool can drive this thread's windows.
ToolResult RunWindowTool(const std::vector<std::wstring>& arguments,
                         std::chrono::milliseconds timeout = std::chrono::seconds(60));

} // namespace Testing
