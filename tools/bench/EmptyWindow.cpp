// The start-up reference of tools/bench/startup-bench.sh: a popup window of the splash's first size (352 x 130 at
// 96 DPI, with a border), centred on the primary screen and painted white, and nothing else.
//
//   EmptyWindow.exe [--direct2d]
//
// By default it paints with GDI and loads nothing of Direct2D. --direct2d paints through a Direct2D render target
// bound to the paint DC, the road the splash window takes, so the cost of Direct2D's first render target can be
// told apart. The window is titled
// "Empty Window" and ends the process when it is closed, or after a minute.
#include <windows.h>
#include <d2d1.h>
#include <wrl/client.h>

#include <cwchar>

#include "QorPointer/UniqueHandle.h"

namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kClass[] = L"Empty Window";
constexpr int kWidth = 352;
constexpr int kHeight = 130;
constexpr UINT_PTR kQuitTimer = 1;
constexpr UINT kQuitAfterMs = 60000;

struct Painter {
    bool direct2d = false;
    ComPtr<ID2D1Factory> factory;
    ComPtr<ID2D1DCRenderTarget> target;

    void paint(HWND window) {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(window, &ps);
        RECT client{};
        GetClientRect(window, &client);
        if (dc && !(direct2d && paintDirect2D(dc, client)))
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(window, &ps);
    }

    // False when Direct2D cannot draw (the caller falls back to GDI).
    bool paintDirect2D(HDC dc, const RECT& client) {
        if (!target) {
            if (!factory && FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_SINGLE_THREADED, factory.GetAddressOf())))
                return false;
            const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
                D2D1_RENDER_TARGET_TYPE_DEFAULT,
                D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_IGNORE));
            if (FAILED(factory->CreateDCRenderTarget(&properties, target.GetAddressOf()))) return false;
        }
        if (FAILED(target->BindDC(dc, &client))) return false;
        target->BeginDraw();
        target->Clear(D2D1::ColorF(D2D1::ColorF::White));
        return SUCCEEDED(target->EndDraw());
    }
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* painter = reinterpret_cast<Painter*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_PAINT:
        if (painter) painter->paint(window);
        else ValidateRect(window, nullptr);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_TIMER:
        if (wParam == kQuitTimer) DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    Painter painter;
    for (int i = 1; i < __argc; ++i)
        if (std::wcscmp(__wargv[i], L"--direct2d") == 0) painter.direct2d = true;

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kClass;
    if (!RegisterClassExW(&windowClass)) return 1;

    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    Nolvar::Core::UniqueWindow window(CreateWindowExW(0, kClass, kClass, WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, x, y,
                                                      kWidth, kHeight, nullptr, nullptr, instance, nullptr));
    if (!window) return 1;
    SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&painter));
    SetTimer(window.get(), kQuitTimer, kQuitAfterMs, nullptr);
    ShowWindow(window.get(), SW_SHOWDEFAULT);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (!IsWindow(window.get())) window.release();  // already destroyed (quit timer or WM_CLOSE)
    return 0;
}
