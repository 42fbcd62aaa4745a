#include "splash/win/widgets/ProgressBars.h"

#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <string>

#include "splash/win/TextIds.h"
#include "splash/win/widgets/Label.h"
#include "utils/win/Timer.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

namespace {

constexpr D2D1_COLOR_F kTrackColour = Rgb(221, 226, 229);
constexpr D2D1_COLOR_F kFillColour = Rgb(22, 143, 211);
constexpr float kBarHeight = 12;
constexpr int kIndicatorIntervalMs = 8;
constexpr double kSweepSeconds = 3.0;

// 100-nanosecond ticks of the system clock.
long long SystemTicks() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// The two colours of both bars: a white window, the 12-DIP track across it and the filled part [left, right).
class BarBrushes {
public:
    void make(ID2D1RenderTarget* target) {
        m_track = CreateSolidBrush(target, kTrackColour);
        m_fill = CreateSolidBrush(target, kFillColour);
    }
    void draw(ID2D1RenderTarget* target, float left, float width, float right) const {
        target->Clear(D2D1::ColorF(1, 1, 1, 1));
        if (!m_track || !m_fill) return;
        target->FillRectangle(D2D1::RectF(0, 0, width, kBarHeight), m_track.Get());
        if (right > left) target->FillRectangle(D2D1::RectF(left, 0, right, kBarHeight), m_fill.Get());
    }

private:
    ComPtr<ID2D1SolidColorBrush> m_track;
    ComPtr<ID2D1SolidColorBrush> m_fill;
};

} // namespace

class ProgressBar::Impl {
public:
    Impl(int id, const WidgetRect& rect, ID2D1Factory* factory, HWND parent) : m_id(id) {
        m_window.Create(parent, L"progrssBar", rect, WS_CHILD | WS_VISIBLE, 0, "Progress bar window procedure",
                        OwnedWindow::PaintOnly([this] { paint(); }));
        m_label = Label::Create(0, UiText::InstallingPercent, POINT{20, 26}, nullptr, L"__PERCENT__", 0, 0);
        m_surface.Create(factory, m_window.get(), [this](ID2D1DCRenderTarget* target) {
            m_bar.make(target);
            m_label->SetRenderTarget(target);
        });
    }

    void paint() {
        WidgetPaint paint(m_surface);
        if (!paint.drawing()) return;
        const int value = m_value;
        const float width = paint.target()->GetSize().width;
        m_bar.draw(paint.target(), 0, width, width / 100 * static_cast<float>(value));
        m_label->SetPlaceholderValue(std::to_wstring(value));
        m_label->redraw();
    }

    int m_id;
    std::atomic<int> m_value{0};
    OwnedWindow m_window;
    WindowSurface m_surface;

private:
    BarBrushes m_bar;
    std::unique_ptr<Label> m_label;
};

std::unique_ptr<ProgressBar> ProgressBar::Create(int id, const WidgetRect& rect, ID2D1Factory* factory, HWND parent) {
    return std::unique_ptr<ProgressBar>(new ProgressBar(std::make_unique<Impl>(id, rect, factory, parent)));
}
ProgressBar::ProgressBar(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ProgressBar::~ProgressBar() = default;
unsigned short ProgressBar::id() const { return static_cast<unsigned short>(m_impl->m_id & 0xFFFF); }
ID2D1RenderTarget* ProgressBar::renderTarget() const { return m_impl->m_surface.target(); }
void ProgressBar::SetValue(int percent) {
    m_impl->m_value = percent;
    RepaintWindow(m_impl->m_window.get());
}
int ProgressBar::value() const { return m_impl->m_value; }
HWND ProgressBar::window() const { return m_impl->m_window.get(); }

class ProgressIndicator::Impl {
public:
    Impl(int id, const WidgetRect& rect, ID2D1Factory* factory, HWND parent) : m_id(id) {
        m_window.Create(parent, L"progrssIndicator", rect, WS_CHILD | WS_VISIBLE, 0,
                        "Progress indicator window procedure", OwnedWindow::PaintOnly([this] { paint(); }));
        m_surface.Create(factory, m_window.get(), [this](ID2D1DCRenderTarget* target) { m_bar.make(target); });
        // The tick only invalidates: painting stays on the window's thread, and stopping never waits for it.
        HWND window = m_window.get();
        m_timer = std::make_unique<Timer>(kIndicatorIntervalMs, [window] { InvalidateRect(window, nullptr, FALSE); });
        m_start = SystemTicks();
        m_timer->Start();
    }

    // The timer ends before the window it invalidates goes.
    ~Impl() { m_timer.reset(); }

    void paint() {
        WidgetPaint paint(m_surface);
        if (!paint.drawing()) return;
        const float width = paint.target()->GetSize().width;
        const double seconds = static_cast<double>(SystemTicks() - m_start) / 10'000'000.0;
        const auto [left, right] = SegmentAt(seconds, width);
        m_bar.draw(paint.target(), left, width, right);
    }

    int m_id;
    OwnedWindow m_window;
    WindowSurface m_surface;

private:
    BarBrushes m_bar;
    std::unique_ptr<Timer> m_timer;
    long long m_start = 0;
};

std::pair<float, float> ProgressIndicator::SegmentAt(double seconds, float width) {
    const double t = std::fmod(std::max(0.0, seconds), kSweepSeconds);
    const double span = 1.33 * width;
    const double head = t * span / kSweepSeconds;
    const double right = std::min(head, static_cast<double>(width));
    double left = head - 0.33 * width;
    if (left <= 0) left = 0;
    return {static_cast<float>(left), static_cast<float>(right)};
}

std::unique_ptr<ProgressIndicator> ProgressIndicator::Create(int id, const WidgetRect& rect, ID2D1Factory* factory,
                                                             HWND parent) {
    return std::unique_ptr<ProgressIndicator>(
        new ProgressIndicator(std::make_unique<Impl>(id, rect, factory, parent)));
}
ProgressIndicator::ProgressIndicator(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
ProgressIndicator::~ProgressIndicator() = default;
unsigned short ProgressIndicator::id() const { return static_cast<unsigned short>(m_impl->m_id & 0xFFFF); }
ID2D1RenderTarget* ProgressIndicator::renderTarget() const { return m_impl->m_surface.target(); }
HWND ProgressIndicator::window() const { return m_impl->m_window.get(); }

} // namespace Nolvar
