#include "splash/win/SplashWindow.h"

#include <d2d1.h>
#include <dwrite.h>
#include <wrl/client.h>

#include <stdexcept>
#include <string>

#include <glog/logging.h>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "splash/ISplashEventObserver.h"
#include "utils/Localization.h"
#include "splash/win/SplashLayout.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/SplashPopups.h"
#include "splash/win/SplashState.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kWindowClass[] = L"Nolvaria Installer";
constexpr int kSpinnerWidth = 352;
constexpr int kSpinnerHeight = 130;
// The blank image's size: the geometry when no image decodes.
constexpr int kBlankWidth = 1340;
constexpr int kBlankHeight = 712;

D2D1_COLOR_F Rgb(float r, float g, float b) { return D2D1::ColorF(r / 255.0f, g / 255.0f, b / 255.0f, 1.0f); }

int Scale(int value, unsigned dpi) { return static_cast<int>(static_cast<long long>(value) * dpi / 96); }

} // namespace

class SplashWindow::Impl {
public:
    Impl(ISplashEventObserver& observer, SplashState& state, ISplashWindowHost& host)
        : m_observer(observer), m_state(state), m_host(host) {
        if (FAILED(D2D1CreateFactory(D2D1_FACTORY_TYPE_MULTI_THREADED, m_d2d.GetAddressOf())))
            throw std::runtime_error("Cannot create the Direct2D factory");
        CreateMainWindow();
        CreateDrawingResources();
    }

    ~Impl() {
        m_window.reset();
    }

    void Close() {
        if (m_window) DestroyWindow(m_window.get());
        PostQuitMessage(0);
    }

    std::exception_ptr Failure() const { return m_failure; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, 0));
        if (!self) return DefWindowProcW(window, message, wParam, lParam);
        try {
            return self->Handle(window, message, wParam, lParam);
        } catch (...) {
            // Exceptions never cross the system's frames: the message loop ends and the thread reports it.
            if (!self->m_failure) self->m_failure = std::current_exception();
            PostQuitMessage(0);
            return 0;
        }
    }

    void CreateMainWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &Impl::WindowProc;
        windowClass.cbWndExtra = sizeof(LONG_PTR);
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(10));
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);
        HWND window = CreateWindowExW(0, kWindowClass, kWindowClass, WS_POPUP | WS_BORDER | WS_MINIMIZEBOX, 0, 0,
                                      kSpinnerWidth, kSpinnerHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                                      nullptr);
        if (!window) throw std::runtime_error("CreateWindow failed!");
        m_window.reset(window);
        SetWindowLongPtrW(window, 0, reinterpret_cast<LONG_PTR>(this));
        Settings::Set(Settings::ID::MainWindow, window);
        m_host.OnWindowCreated(window);

        m_dpi = DpiOf(window);
        SetForegroundWindow(window);
        ShowWindow(window, SW_SHOWDEFAULT);
        CenterOnScreen(Scale(kSpinnerWidth, m_dpi), Scale(kSpinnerHeight, m_dpi));
    }

    void CreateDrawingResources() {
        const D2D1_RENDER_TARGET_PROPERTIES properties = D2D1::RenderTargetProperties(
            D2D1_RENDER_TARGET_TYPE_DEFAULT,
            D2D1::PixelFormat(DXGI_FORMAT_B8G8R8A8_UNORM, D2D1_ALPHA_MODE_PREMULTIPLIED));
        if (FAILED(m_d2d->CreateDCRenderTarget(&properties, m_target.GetAddressOf())))
            LOG(WARNING) << "Cannot create the splash window's render target";
        if (FAILED(DWriteCreateFactory(DWRITE_FACTORY_TYPE_SHARED, __uuidof(IDWriteFactory),
                                       reinterpret_cast<IUnknown**>(m_dwrite.GetAddressOf()))))
            throw std::runtime_error("Cannot create the DirectWrite factory");
        m_textFormat = MakeTextFormat(12.0f);
    }

    ComPtr<IDWriteTextFormat> MakeTextFormat(float size) const {
        ComPtr<IDWriteTextFormat> format;
        const std::wstring locale = Core::WstringFromUtf8(GetCurrentLocale());
        if (FAILED(m_dwrite->CreateTextFormat(L"Verdana", nullptr, DWRITE_FONT_WEIGHT_NORMAL, DWRITE_FONT_STYLE_NORMAL,
                                              DWRITE_FONT_STRETCH_NORMAL, size, locale.c_str(),
                                              format.GetAddressOf())))
            return nullptr;
        format->SetTextAlignment(DWRITE_TEXT_ALIGNMENT_CENTER);
        format->SetParagraphAlignment(DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
        return format;
    }

    static unsigned DpiOf(HWND window) {
        const UINT dpi = GetDpiForWindow(window);
        return dpi ? dpi : 96;
    }

    void CenterOnScreen(int width, int height) {
        SetWindowPos(m_window.get(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                     (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }

    LRESULT Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_PAINT:
        case WM_DPICHANGED:
            m_dpi = DpiOf(window);
            Paint();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            OnCloseRequest();
            return 0;
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, m_state.Screen() == 4   ? IDC_APPSTARTING
                                           : m_state.Screen() == 5 ? IDC_WAIT
                                                                   : IDC_ARROW));
            return 0;
        case WM_NCHITTEST: {
            const LRESULT hit = DefWindowProcW(window, message, wParam, lParam);
            return hit == HTCLIENT ? HTCAPTION : hit;
        }
        case WM_NCDESTROY:
            m_host.OnWindowDestroyed();
            SetWindowLongPtrW(window, 0, 0);
            m_window.release();
            return DefWindowProcW(window, message, wParam, lParam);
        default:
            break;
        }
        if (message >= WM_USER + 1 && message <= WM_USER + 13) return HandleSplashMessage(message, wParam);
        if (message >= WM_APP + 1 && message <= WM_APP + 5) return HandleTask(message, wParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    LRESULT HandleSplashMessage(UINT message, WPARAM wParam) {
        switch (static_cast<SplashMessage>(message)) {
        case SplashMessage::SetScreen:
            SetScreen(static_cast<int>(wParam));
            break;
        case SplashMessage::CloseWindow:
            Close();
            break;
        case SplashMessage::ShowNoConnection:
        case SplashMessage::ShowPlatform:
        case SplashMessage::ShowAlreadyRunning:
        case SplashMessage::ShowCloseProduct:
        case SplashMessage::ShowRetry:
        case SplashMessage::ShowDiskSpace: {
            PopupRequest request;
            if (PopupRequestForMessage(static_cast<SplashMessage>(message), static_cast<int>(wParam), &request))
                ShowPopup(request);
            break;
        }
        default:
            break;
        }
        return 0;
    }

    LRESULT HandleTask(UINT message, WPARAM) {
        switch (static_cast<SplashTask>(message)) {
        case SplashTask::Repaint:
            RepaintNow();
            break;
        default:
            break;
        }
        return 0;
    }

    void OnCloseRequest() {
        const int screen = m_state.Screen();
        if (screen >= 1 && screen <= 4) {
            ShowPopup(CancelQuestionRequest());
        } else if (screen == 6) {
            m_observer.OnExit(6, "");
            Close();
        }
    }

    void SetScreen(int screen) {
        if (!IsKnownScreen(screen)) {
            LOG(WARNING) << "Screen " << screen << " is unknown; ignored";
            return;
        }
        const int previous = m_state.Screen();
        if (screen == 1 && previous >= 4) {
            LOG(INFO) << "Screen 1 not shown again: the installation has started (screen " << previous << ")";
            return;
        }
        m_state.SetScreen(screen);
        if (previous == 0) {
            m_halfWidth = kBlankWidth / 2;
            m_halfHeight = kBlankHeight / 2;
            CenterOnScreen(Scale(m_halfWidth, m_dpi), Scale(m_halfHeight + 64, m_dpi));
            SetForegroundWindow(m_window.get());
            ShowWindow(m_window.get(), SW_SHOWDEFAULT);
        }
        m_backgroundShown = false;
        RECT rect{};
        GetWindowRect(m_window.get(), &rect);
        SetWindowPos(m_window.get(), nullptr, rect.left, rect.top, Scale(m_halfWidth, m_dpi),
                     Scale(m_halfHeight + PanelHeight(screen), m_dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        RepaintNow();
        m_observer.OnScreenShown(screen, ImageShown(screen));
    }

    bool ImageShown(int screen) const {
        if (screen == 2 || screen == 3 || screen == 7) return true;
        return m_backgroundShown && !m_state.IsScreenImageMissing(screen);
    }

    void ShowPopup(const PopupRequest& request) {
        LOG(WARNING) << "Pop-up " << request.popupId << " with text " << request.textId << " not shown";
    }

    void RepaintNow() {
        if (m_window) RedrawWindow(m_window.get(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    void Paint() {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(m_window.get(), &paint);
        RECT client{};
        GetClientRect(m_window.get(), &client);
        if (m_target && SUCCEEDED(m_target->BindDC(dc, &client))) {
            m_target->BeginDraw();
            m_target->SetTransform(D2D1::Matrix3x2F::Identity());
            m_target->Clear(D2D1::ColorF(1.0f, 1.0f, 1.0f, 1.0f));
            if (m_state.Screen() == 0) PaintSpinnerView();
            else PaintScreen();
            if (m_target->EndDraw() == static_cast<HRESULT>(D2DERR_RECREATE_TARGET)) {
                m_target.Reset();
                CreateDrawingResources();
            }
        }
        EndPaint(m_window.get(), &paint);
    }

    void PaintSpinnerView() {
        const D2D1_SIZE_F size = m_target->GetSize();
        const float spinnerHeight = 48.0f;
        DrawText(Tr(37), m_textFormat.Get(), D2D1::RectF(0, spinnerHeight + 48, size.width, spinnerHeight + 72));
    }

    void PaintScreen() {
        const int screen = m_state.Screen();
        if (m_state.IsScreenImageMissing(screen) || !m_backgroundShown) {
            const ComPtr<IDWriteTextFormat> captionFormat = MakeTextFormat(18.0f);
            DrawText(Core::WstringFromUtf8(m_state.Caption()), captionFormat.Get(),
                     D2D1::RectF(0, 160, m_target->GetSize().width, 196));
        }
    }

    void DrawText(const std::wstring& text, IDWriteTextFormat* format, const D2D1_RECT_F& rect) {
        if (!format || text.empty()) return;
        ComPtr<ID2D1SolidColorBrush> black;
        if (FAILED(m_target->CreateSolidColorBrush(Rgb(0, 0, 0), black.GetAddressOf()))) return;
        m_target->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format, rect, black.Get());
    }

    ISplashEventObserver& m_observer;
    SplashState& m_state;
    ISplashWindowHost& m_host;
    std::exception_ptr m_failure;

    ComPtr<ID2D1Factory> m_d2d;
    ComPtr<IDWriteFactory> m_dwrite;
    ComPtr<ID2D1DCRenderTarget> m_target;
    ComPtr<IDWriteTextFormat> m_textFormat;
    Core::UniqueWindow m_window;
    unsigned m_dpi = 96;
    int m_halfWidth = -1;
    int m_halfHeight = -1;
    bool m_backgroundShown = false;
};

SplashWindow::SplashWindow(ISplashEventObserver& observer, SplashState& state, ISplashWindowHost& host)
    : m_impl(std::make_unique<Impl>(observer, state, host)) {}

SplashWindow::~SplashWindow() = default;

void SplashWindow::Close() { m_impl->Close(); }

std::exception_ptr SplashWindow::Failure() const { return m_impl->Failure(); }

} // namespace Nolvar
