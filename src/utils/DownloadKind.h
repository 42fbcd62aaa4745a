#pragma once
// What a download of the installer fetches; the number is the one its download record carries.
#include <cstdint>

namespace Nolvar {

enum class DownloadKind : std::int32_t {
    SplashImage = 0,
    ProductInstaller = 1,
    Configuration = 2,
};

} // namespace Nolvar
