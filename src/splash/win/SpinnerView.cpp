#include "splash/win/SpinnerView.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <utility>

#include "QorPointer/PaintScope.h"
#include "QorPointer/UniqueHandle.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/TextIds.h"
#include "splash/win/widgets/TextFormat.h"
#include "utils/Localization.h"

namespace Nolvar {

namespace {

// Where both kinds of frames place the spinner and the text, in 96-DPI units: the spinner's top, and the text's
// band below the spinner's bottom.
constexpr int kSpinnerTop = 24;
constexpr int kTextGap = 48;
constexpr int kTextHeight = 24;
constexpr int kGdiFontSize = 12;

} // namespace

void SpinnerView::LoadWhile(const std::function<void()>& meanwhile) {
    SharedBitmap spinner;
    std::exception_ptr decodeFailure;
    {
        std::jthread decoder([this, &spinner, &decodeFailure] {
            try {
                const ComApartment com;
                spinner = m_images.LoadResource(FindImageResource(kResource));
            } catch (...) {
                decodeFailure = std::current_exception();
            }
        });
        meanwhile();
    }
    if (decodeFailure) std::rethrow_exception(decodeFailure);
    m_decoded = spinner;
    m_bitmap.SetSource(std::move(spinner));
}

void SpinnerView::StartTurning(TickNotice notice) {
    m_timer = std::make_unique<Timer>(kSpinnerTickMs, [this, notice = std::move(notice)] {
        if (!m_tickPending.exchange(true)) notice();
    });
    m_timer->Start();
}

void SpinnerView::Stop() {
    if (m_timer) m_timer->Stop();
}

bool SpinnerView::Tick(bool turns) {
    m_tickPending.store(false);
    if (!turns) return false;
    m_angle = (m_angle + kTurnDegrees) % 360;
    return true;
}

void SpinnerView::PaintGdi(HWND window, unsigned dpi) const {
    Core::PaintScope paint(window);
    HDC dc = paint.dc();
    if (!dc) return;
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const int width = client.right - client.left;

    // The bitmap's pixels are its size in 96-DPI units, as for the Direct2D bitmap made from it.
    int spinnerHeight = 0;
    BITMAP info{};
    if (m_decoded && GetObjectW(m_decoded->get(), sizeof(info), &info)) {
        spinnerHeight = std::abs(info.bmHeight);
        const int w = ScaleForDpi(info.bmWidth, dpi);
        const int h = ScaleForDpi(spinnerHeight, dpi);
        const Core::UniqueMemoryDc source(CreateCompatibleDC(dc));
        if (source) {
            const Core::UniqueSelection bitmap = Core::SelectInto(source.get(), m_decoded->get());
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, (width - w) / 2, ScaleForDpi(kSpinnerTop, dpi), w, h, source.get(), 0, 0, info.bmWidth,
                       spinnerHeight, SRCCOPY);
        }
    }

    const Core::UniqueGdiObject<HFONT> font(CreateFontW(-ScaleForDpi(kGdiFontSize, dpi), 0, 0, 0, FW_NORMAL, FALSE,
                                                        FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                                        kTextFontFamily));
    const Core::UniqueSelection selectedFont =
        Core::SelectInto(dc, font ? static_cast<HGDIOBJ>(font.get()) : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT textRect{0, ScaleForDpi(spinnerHeight + kTextGap, dpi), width,
                  ScaleForDpi(spinnerHeight + kTextGap + kTextHeight, dpi)};
    const std::wstring text = Tr(UiText::PleaseWait);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

void SpinnerView::Paint(ID2D1RenderTarget* target, IDWriteTextFormat* format, ID2D1Brush* brush) const {
    const float width = target->GetSize().width;
    float spinnerHeight = 0;
    if (ID2D1Bitmap* spinner = m_bitmap.get()) {
        const D2D1_SIZE_F size = PixelSize(spinner);
        spinnerHeight = size.height;
        const float top = kSpinnerTop;
        target->SetTransform(D2D1::Matrix3x2F::Rotation(static_cast<float>(m_angle),
                                                        D2D1::Point2F(width / 2, size.height / 2 + top)));
        target->DrawBitmap(spinner, D2D1::RectF((width - size.width) / 2, top, (width + size.width) / 2,
                                                size.height + top));
        target->SetTransform(D2D1::Matrix3x2F::Identity());
    }
    const std::wstring text = Tr(UiText::PleaseWait);
    if (!format || !brush || text.empty()) return;
    const float textTop = spinnerHeight + kTextGap;
    target->DrawText(text.c_str(), static_cast<UINT32>(text.size()), format,
                     D2D1::RectF(0, textTop, width, textTop + kTextHeight), brush);
}

} // namespace Nolvar
