#pragma once
// The text formats of the window and its widgets: one family, in the current locale.
#include <dwrite.h>
#include <wrl/client.h>

#include <source_location>

namespace Nolvar {

// The family every text of the window is set in.
inline constexpr wchar_t kTextFontFamily[] = L"Verdana";

// A text format in the locale of the Locale setting, normal stretch. Null (logged from the caller's place) when
// there is no factory or the format cannot be made.
Microsoft::WRL::ComPtr<IDWriteTextFormat> MakeTextFormat(
    IDWriteFactory* factory, float size, DWRITE_TEXT_ALIGNMENT textAlignment,
    DWRITE_PARAGRAPH_ALIGNMENT paragraphAlignment, DWRITE_FONT_WEIGHT weight = DWRITE_FONT_WEIGHT_NORMAL,
    DWRITE_FONT_STYLE style = DWRITE_FONT_STYLE_NORMAL, const wchar_t* family = kTextFontFamily,
    const std::source_location& where = std::source_location::current());

} // namespace Nolvar
