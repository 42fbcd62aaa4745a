#pragma once
// The spinner view drawn with GDI, for the paints that come before the window's Direct2D render target exists: the
// same white view, spinner (unturned) and "Please wait..." text in the same places as the Direct2D one.
#include <windows.h>

#include <string>

namespace Nolvar {

// Where both views place the spinner and the text, in 96-DPI units: the spinner's top, and the text's band below
// the spinner's bottom.
constexpr int kSpinnerTop = 24;
constexpr int kSpinnerTextGap = 48;
constexpr int kSpinnerTextHeight = 24;

// One WM_PAINT of `window`: BeginPaint, the view, EndPaint. `spinner` may be null (the text alone is drawn).
void PaintGdiSpinnerView(HWND window, HBITMAP spinner, const std::wstring& text, unsigned dpi);

} // namespace Nolvar
