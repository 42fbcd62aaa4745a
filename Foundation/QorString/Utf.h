#pragma once
// UTF-8 <-> UTF-16 conversion at the Windows API boundary.
#include <string>
#include <string_view>

namespace Nolvar::Core {

// Invalid input sequences become U+FFFD; never throws for bad input.
std::string Utf8FromWstring(std::wstring_view text);
std::wstring WstringFromUtf8(std::string_view text);

} // namespace Nolvar::Core
