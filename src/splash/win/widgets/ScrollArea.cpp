#include "splash/win/widgets/ScrollArea.h"

#include <dwrite.h>
#include <wrl/client.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "QorString/Utf.h"
#include "splash/win/CallFailed.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/widgets/TextFormat.h"
#include "utils/Resources.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

namespace {

constexpr float kBarWidth = 6;
constexpr float kMinThumbHeight = 42;
constexpr float kTextMargin = 18;
constexpr float kFontSize = 14;

// Pixels to DIPs at the DPI the windows and their render targets are made for.
float PixelsToDips(int pixels) {
    return static_cast<float>(pixels) * 96.0f / static_cast<float>(HighDpiAwareness().dpi());
}

D2D1_SIZE_F ClientSizeInDips(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return D2D1::SizeF(PixelsToDips(client.right - client.left), PixelsToDips(client.bottom - client.top));
}

} // namespace

class ScrollArea::Impl final : public ISettingsObserver {
public:
    Impl(int id, HWND parent, ISplashEventObserver& observer, TextLoader loader)
        : m_id(id), m_parent(parent), m_observer(observer), m_loader(std::move(loader)) {
        if (!m_loader) m_loader = [] { return GetEulaText(); };
    }

    ~Impl() override { Settings::Unsubscribe(this); }

    void create(ID2D1Factory* factory, const WidgetRect& rect) {
        m_text.Create(m_parent, L"scrollArea", {rect.left, rect.top, rect.right - 6, rect.bottom},
                      WS_CHILD | WS_VISIBLE, m_id, "Scroll area window procedure",
                      std::bind_front(&Impl::handleText, this));
        m_textSurface.Create(factory, m_text.get(), [this](ID2D1DCRenderTarget* target) {
            m_backgroundBrush = CreateSolidBrush(target, Rgb(232, 234, 237));
            m_textBrush = CreateSolidBrush(target, Rgb(0, 0, 0));
        });
        m_bar.Create(m_parent, L"customScrollBar", {rect.right - 6, rect.top, rect.right, rect.bottom},
                     WS_CHILD | WS_VISIBLE, 0, "Scroll bar window procedure", std::bind_front(&Impl::handleBar, this));
        m_barSurface.Create(factory, m_bar.get(), [this](ID2D1DCRenderTarget* target) {
            m_barBackground = CreateSolidBrush(target, Rgb(232, 234, 237));
            m_track = CreateSolidBrush(target, Rgb(214, 216, 218));
            m_trackHover = CreateSolidBrush(target, Rgb(225, 226, 227));
            m_thumb = CreateSolidBrush(target, Rgb(181, 185, 188));
            m_thumbActive = CreateSolidBrush(target, Rgb(141, 146, 152));
        });
        m_writeFactory = SharedDirectWriteFactory();
        trackBarMouse();
        SetFocus(m_text.get());
        Settings::Subscribe(this);
        loadText();
    }

    void OnSettingChanged(Settings::ID id, const std::any&) override {
        if (id == Settings::ID::Locale) {
            loadText();
            repaint();
        }
    }

    void loadText() {
        const std::string text = m_loader();
        // The observer may do anything; the text is taken before it is told.
        if (!text.empty()) {
            m_observer.OnEulaRequestSucceeded();
        } else {
            m_observer.OnEulaRequestFailed();
        }
        m_content = Core::WstringFromUtf8(text);
        m_thumbTop = 0;
        m_dragging = false;
        layOut();
    }

    void layOut() {
        m_layout.Reset();
        m_format.Reset();
        m_scrollable = false;
        m_thumbHeight = 0;
        m_textHeight = 0;
        m_lineHeight = 0;
        if (!m_writeFactory || !m_text) return;
        m_format = MakeTextFormat(m_writeFactory.Get(), kFontSize, DWRITE_TEXT_ALIGNMENT_LEADING,
                                  DWRITE_PARAGRAPH_ALIGNMENT_NEAR);
        if (!m_format) return;
        const D2D1_SIZE_F window = ClientSizeInDips(m_text.get());
        if (CallFailed(m_writeFactory->CreateTextLayout(m_content.c_str(), static_cast<UINT32>(m_content.size()),
                                                        m_format.Get(), std::max(0.0f, window.width - kTextMargin),
                                                        window.height, &m_layout),
                       "CreateTextLayout"))
            return;
        DWRITE_TEXT_METRICS metrics{};
        m_layout->GetMetrics(&metrics);
        m_textHeight = std::trunc(metrics.height);
        m_lineHeight = metrics.lineCount > 0 ? std::trunc(metrics.height / static_cast<float>(metrics.lineCount)) : 0;
        const float barHeight = ClientSizeInDips(m_bar.get()).height;
        if (m_textHeight > window.height && m_lineHeight > 0 && barHeight > 0) {
            m_scrollable = true;
            m_thumbHeight = std::min(barHeight, std::max(barHeight * window.height / m_textHeight, kMinThumbHeight));
        }
    }

    float offset() const {
        if (!m_scrollable) return 0;
        const float window = ClientSizeInDips(m_text.get()).height;
        const float room = ClientSizeInDips(m_bar.get()).height - m_thumbHeight;
        if (room <= 0) return 0;
        return (m_textHeight - window) * m_thumbTop / room;
    }

    void scrollLines(int lines) {
        if (!m_scrollable) return;
        const float window = ClientSizeInDips(m_text.get()).height;
        const float barHeight = ClientSizeInDips(m_bar.get()).height;
        const float overflow = m_textHeight - window;
        if (overflow <= 0) return;
        setThumbTop(m_thumbTop + static_cast<float>(lines) * (barHeight - m_thumbHeight) * m_lineHeight / overflow);
    }

    void setThumbTop(float top) {
        if (!m_scrollable) return;
        const float barHeight = ClientSizeInDips(m_bar.get()).height;
        if (std::isnan(top) || top < 0) top = 0;
        if (top + m_thumbHeight > barHeight) top = barHeight - m_thumbHeight;
        m_thumbTop = std::max(0.0f, top);
        repaint();
    }

    void repaint() {
        RepaintWindow(m_bar.get());
        RepaintWindow(m_text.get());
    }

    void paintText() {
        WidgetPaint paint(m_textSurface);
        if (!paint.drawing()) return;
        ID2D1DCRenderTarget* target = paint.target();
        const D2D1_SIZE_F size = target->GetSize();
        target->Clear(D2D1::ColorF(1, 1, 1, 1));
        if (m_backgroundBrush) target->FillRectangle(D2D1::RectF(0, 0, size.width, size.height), m_backgroundBrush.Get());
        if (!m_format) layOut();
        if (!m_format || !m_textBrush) return;
        const float shift = offset();
        target->DrawText(m_content.c_str(), static_cast<UINT32>(m_content.size()), m_format.Get(),
                               D2D1::RectF(kTextMargin, -shift, size.width, size.height), m_textBrush.Get());
    }

    void paintBar() {
        WidgetPaint paint(m_barSurface);
        if (!paint.drawing()) return;
        ID2D1DCRenderTarget* target = paint.target();
        const D2D1_SIZE_F size = target->GetSize();
        target->Clear(D2D1::ColorF(1, 1, 1, 1));
        if (m_scrollable && m_track && m_thumb) {
            target->FillRectangle(D2D1::RectF(0, 0, size.width, size.height),
                                       m_hover ? m_trackHover.Get() : m_track.Get());
            const D2D1_RECT_F thumb = D2D1::RectF(0, m_thumbTop, size.width, m_thumbTop + m_thumbHeight);
            target->FillRoundedRectangle(D2D1::RoundedRect(thumb, 3, 3),
                                              m_thumbActiveFlag ? m_thumbActive.Get() : m_thumb.Get());
        } else if (m_barBackground) {
            target->FillRectangle(D2D1::RectF(0, 0, size.width, size.height), m_barBackground.Get());
        }
    }

    int m_id;
    HWND m_parent;
    OwnedWindow m_text;
    OwnedWindow m_bar;
    WindowSurface m_textSurface;
    WindowSurface m_barSurface;
    bool m_scrollable = false;
    float m_thumbTop = 0;
    float m_thumbHeight = 0;

private:
    bool onThumb(float y) const { return m_scrollable && y >= m_thumbTop && y <= m_thumbTop + m_thumbHeight; }

    LRESULT handleText(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        switch (message) {
        case WM_PAINT:
            // The bar is a window of its own and paints on its own WM_PAINT.
            paintText();
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_DOWN) scrollLines(1);
            if (wp == VK_UP) scrollLines(-1);
            return 0;
        case WM_MOUSEWHEEL:
            if (GET_WHEEL_DELTA_WPARAM(wp) > 0) scrollLines(-1);
            if (GET_WHEEL_DELTA_WPARAM(wp) < 0) scrollLines(1);
            return 0;
        default:
            return DefWindowProcW(window, message, wp, lp);
        }
    }

    // The bar's mouse input changes the thumb and is then left to the system as well.
    LRESULT handleBar(HWND window, UINT message, WPARAM wp, LPARAM lp) {
        if (message == WM_PAINT) {
            paintBar();
            return 0;
        }
        const float y = PixelsToDips(static_cast<short>(HIWORD(lp)));
        switch (message) {
        case WM_MOUSEMOVE:
            m_hover = true;
            m_thumbActiveFlag = onThumb(y) || m_dragging;
            if (wp == MK_LBUTTON && m_dragging) {
                setThumbTop(y - m_grabOffset);
            } else {
                RepaintWindow(m_bar.get());
            }
            trackBarMouse();
            break;
        case WM_LBUTTONDOWN:
            m_hover = true;
            if (!m_scrollable) break;
            if (onThumb(y)) {
                m_thumbActiveFlag = true;
                m_grabOffset = y - m_thumbTop;
                m_dragging = true;
                SetCapture(m_bar.get());
                RepaintWindow(m_bar.get());
            } else if (y < m_thumbTop) {
                scrollLines(-1);
            } else {
                scrollLines(1);
            }
            break;
        case WM_LBUTTONUP:
            m_dragging = false;
            if (GetCapture() == m_bar.get()) ReleaseCapture();
            break;
        case WM_MOUSEHOVER:
            m_hover = true;
            if (onThumb(y)) m_thumbActiveFlag = true;
            RepaintWindow(m_bar.get());
            break;
        case WM_MOUSELEAVE:
            m_hover = false;
            m_thumbActiveFlag = m_dragging;
            RepaintWindow(m_bar.get());
            break;
        default:
            break;
        }
        return DefWindowProcW(window, message, wp, lp);
    }

    void trackBarMouse() {
        TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, m_bar.get(), HOVER_DEFAULT};
        TrackMouseEvent(&track);
    }

    ISplashEventObserver& m_observer;
    TextLoader m_loader;
    std::wstring m_content;
    ComPtr<IDWriteFactory> m_writeFactory;
    ComPtr<IDWriteTextFormat> m_format;
    ComPtr<IDWriteTextLayout> m_layout;
    ComPtr<ID2D1SolidColorBrush> m_backgroundBrush;
    ComPtr<ID2D1SolidColorBrush> m_textBrush;
    ComPtr<ID2D1SolidColorBrush> m_barBackground;
    ComPtr<ID2D1SolidColorBrush> m_track;
    ComPtr<ID2D1SolidColorBrush> m_trackHover;
    ComPtr<ID2D1SolidColorBrush> m_thumb;
    ComPtr<ID2D1SolidColorBrush> m_thumbActive;
    float m_textHeight = 0;
    float m_lineHeight = 0;
    bool m_hover = false;
    bool m_thumbActiveFlag = false;
    bool m_dragging = false;
    float m_grabOffset = 0;
};

std::unique_ptr<ScrollArea> ScrollArea::Create(int id, HWND parent, ID2D1Factory* factory, const WidgetRect& rect,
                                               ISplashEventObserver& observer, TextLoader loader) {
    auto impl = std::make_unique<Impl>(id, parent, observer, std::move(loader));
    impl->create(factory, rect);
    return std::unique_ptr<ScrollArea>(new ScrollArea(std::move(impl)));
}

ScrollArea::ScrollArea(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ScrollArea::~ScrollArea() = default;
unsigned short ScrollArea::id() const { return static_cast<unsigned short>(m_impl->m_id & 0xFFFF); }
void ScrollArea::redraw() { m_impl->repaint(); }
ID2D1RenderTarget* ScrollArea::renderTarget() const { return m_impl->m_textSurface.target(); }
HWND ScrollArea::textWindow() const { return m_impl->m_text.get(); }
HWND ScrollArea::barWindow() const { return m_impl->m_bar.get(); }
bool ScrollArea::scrollable() const { return m_impl->m_scrollable; }
float ScrollArea::thumbTop() const { return m_impl->m_thumbTop; }
float ScrollArea::thumbHeight() const { return m_impl->m_thumbHeight; }
float ScrollArea::textOffset() const { return m_impl->offset(); }

} // namespace Nolvar
