#include "splash/win/GdiSpinnerView.h"

#include <cstdlib>

#include "QorPointer/PaintScope.h"
#include "QorPointer/UniqueHandle.h"
#include "splash/win/HighDpiAwarenessHelper.h"
#include "splash/win/widgets/TextFormat.h"

namespace Nolvar {

namespace {

constexpr int kFontSize = 12;

} // namespace

void PaintGdiSpinnerView(HWND window, HBITMAP spinner, const std::wstring& text, unsigned dpi) {
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
    if (spinner && GetObjectW(spinner, sizeof(info), &info)) {
        spinnerHeight = std::abs(info.bmHeight);
        const int w = ScaleForDpi(info.bmWidth, dpi);
        const int h = ScaleForDpi(spinnerHeight, dpi);
        const Core::UniqueMemoryDc source(CreateCompatibleDC(dc));
        if (source) {
            const Core::UniqueSelection bitmap = Core::SelectInto(source.get(), spinner);
            SetStretchBltMode(dc, HALFTONE);
            StretchBlt(dc, (width - w) / 2, ScaleForDpi(kSpinnerTop, dpi), w, h, source.get(), 0, 0, info.bmWidth,
                       spinnerHeight, SRCCOPY);
        }
    }

    const Core::UniqueGdiObject<HFONT> font(CreateFontW(-ScaleForDpi(kFontSize, dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                                        FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                                        CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                                        kTextFontFamily));
    const Core::UniqueSelection selectedFont =
        Core::SelectInto(dc, font ? static_cast<HGDIOBJ>(font.get()) : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    RECT textRect{0, ScaleForDpi(spinnerHeight + kSpinnerTextGap, dpi), width,
                  ScaleForDpi(spinnerHeight + kSpinnerTextGap + kSpinnerTextHeight, dpi)};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_CENTER | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

} // namespace Nolvar
