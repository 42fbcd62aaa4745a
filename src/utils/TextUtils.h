#pragma once
// Small text conversions shared by the installer.
#include <string>
#include <string_view>
#include <vector>

namespace Nolvar {

// True for "true" in any letter case and for "1"; false for anything else.
bool StringToBool(std::string_view text);
// The text with its first "-" replaced by "_" ("en-US" -> "en_US").
std::string DashToUnderscore(std::string text);
// The texts in order, joined with ", ".
std::string JoinWithComma(const std::vector<std::string>& texts);
std::string ToUtf8(std::wstring_view text);
std::wstring ToWide(std::string_view text);

} // namespace Nolvar
