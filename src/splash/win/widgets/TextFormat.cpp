#include "splash/win/widgets/TextFormat.h"

#include <string>

#include "splash/win/CallFailed.h"
#include "utils/Settings.h"

namespace Nolvar {

using Microsoft::WRL::ComPtr;

ComPtr<IDWriteTextFormat> MakeTextFormat(IDWriteFactory* factory, float size, DWRITE_TEXT_ALIGNMENT textAlignment,
                                         DWRITE_PARAGRAPH_ALIGNMENT paragraphAlignment, DWRITE_FONT_WEIGHT weight,
                                         DWRITE_FONT_STYLE style, const wchar_t* family,
                                         const std::source_location& where) {
    if (!factory) return nullptr;
    const std::wstring locale = Settings::GetWideString(Settings::ID::LocaleWide, L"");
    ComPtr<IDWriteTextFormat> format;
    if (CallFailed(factory->CreateTextFormat(family, nullptr, weight, style, DWRITE_FONT_STRETCH_NORMAL, size,
                                             locale.c_str(), &format),
                   "CreateTextFormat", google::GLOG_ERROR, where))
        return nullptr;
    format->SetTextAlignment(textAlignment);
    format->SetParagraphAlignment(paragraphAlignment);
    return format;
}

} // namespace Nolvar
