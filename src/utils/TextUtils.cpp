#include "utils/TextUtils.h"

#include "QorString/Utf.h"

namespace Nolvar {

bool StringToBool(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower == "true" || lower == "1";
}

std::string DashToUnderscore(std::string text) {
    const auto dash = text.find('-');
    if (dash != std::string::npos) text[dash] = '_';
    return text;
}

std::string JoinWithComma(const std::vector<std::string>& texts) {
    std::string joined;
    for (std::size_t i = 0; i < texts.size(); ++i) joined += (i == 0 ? "" : ", ") + texts[i];
    return joined;
}

std::string ToUtf8(std::wstring_view text) { return Core::Utf8FromWstring(text); }
std::wstring ToWide(std::string_view text) { return Core::WstringFromUtf8(text); }

} // namespace Nolvar
