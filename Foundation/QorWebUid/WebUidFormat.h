#pragma once
// What a web user id looks like: 8 to 64 characters, each an ASCII letter, a digit or "-".
#include <cstddef>
#include <string_view>

namespace Nolvar::App {

inline constexpr std::size_t kMinWebUidLength = 8;
inline constexpr std::size_t kMaxWebUidLength = 64;

// True when the text has the web user id form. Ids from outside (registry, file name, signature tag, the
// service) are checked with this before they are stored or passed on.
bool IsWebUidFormat(std::string_view text);

} // namespace Nolvar::App
