#pragma once
// Window-test helpers: a top-level parent window that records the messages widgets send it, a Direct2D factory,
// an off-screen render target whose pixels can be read, and the images of the source tree.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "QorPointer/UniqueHandle.h"
#include "splash/win/ImageLoader.h"

namespace WidgetTesting {

struct SentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A visible top-level window at (x, y) of the screen, white, recording every message at or above WM_USER.
class TestParent {
public:
    TestParent(int width = 700, int height = 500, int x = 40, int y = 40);
    ~TestParent();
    HWND hwnd() const { return m_window.get(); }
    const std::vector<SentMessage>& received() const { return m_received; }
    std::vector<SentMessage> receivedOf(UINT message) const;
    void clear() { m_received.clear(); }
    // Called for every recorded message after it is recorded (may destroy widgets).
    void onMessage(std::function<void(const SentMessage&)> handler) { m_handler = std::move(handler); }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    Nolvar::Core::UniqueWindow m_window;
    std::vector<SentMessage> m_received;
    std::function<void(const SentMessage&)> m_handler;
};

Microsoft::WRL::ComPtr<ID2D1Factory> CreateFactory();

// A 32-bit DIB bound to a DC render target: draw, then read pixels (0xRRGGBB).
class OffscreenTarget {
public:
    OffscreenTarget(ID2D1Factory* factory, int width, int height);
    ID2D1DCRenderTarget* target() const { return m_target.Get(); }
    // BindDC + BeginDraw; call end() before reading.
    void begin();
    HRESULT end();
    std::uint32_t pixel(int x, int y) const;

private:
    int m_width;
    int m_height;
    Nolvar::Core::UniqueMemoryDc m_dc;
    Nolvar::Core::UniqueGdiObject<HBITMAP> m_bitmap;
    std::uint32_t* m_bits = nullptr;
    Nolvar::Core::UniqueSelection m_selection;  // goes before the bitmap, which is then no longer selected
    Microsoft::WRL::ComPtr<ID2D1DCRenderTarget> m_target;
};

// Sets the Wine prefix's DPI (HKCU LogPixels) for the processes started while it lives; puts the old state back.
class PrefixDpi {
public:
    explicit PrefixDpi(DWORD dpi);
    ~PrefixDpi();
    PrefixDpi(const PrefixDpi&) = delete;
    PrefixDpi& operator=(const PrefixDpi&) = delete;

private:
    Nolvar::Core::UniqueRegKey m_key;
    DWORD m_old = 96;
    bool m_hadValue = false;
};

// Whole bytes of a file under the source tree's resources/images.
std::string ImageFileBytes(const std::string& name);

} // namespace WidgetTesting
