#pragma once
// SHA-1 digests through Windows CNG.
#include <string>
#include <string_view>

namespace Nolvar::Util {

// SHA-1 of the bytes of `text`, as 40 lowercase hexadecimal digits. Throws std::system_error when CNG fails.
std::string SHA1(std::string_view text);

} // namespace Nolvar::Util
