#pragma once
// Owners of what WinHTTP hands out: session, connection and request handles, and texts it allocates for the caller.
#include <windows.h>
#include <winhttp.h>

#include <string>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Networking {

namespace HandleTraits {

struct WinHttp {
    using pointer = HINTERNET;
    static pointer invalid() noexcept { return nullptr; }
    static bool isValid(pointer h) noexcept { return h != nullptr; }
    static void close(pointer h) noexcept { ::WinHttpCloseHandle(h); }
};

} // namespace HandleTraits

using UniqueInternetHandle = Core::UniqueHandle<HandleTraits::WinHttp>;

// A text such as WINHTTP_PROXY_INFO::lpszProxy, which the caller frees with GlobalFree.
using UniqueGlobalText = Core::UniqueGlobalPtr<LPWSTR>;

inline std::string Utf8(const UniqueGlobalText& text) {
    return text ? Core::Utf8FromWstring(text.get()) : std::string();
}

} // namespace Nolvar::Networking
