#include "QorWebUid/WebUidRegistry.h"

#include <windows.h>

#include "QorString/Utf.h"

namespace Nolvar::App {

std::wstring WebUidRegistryPath(const std::string& brand, const std::string& subKey) {
    return L"SOFTWARE\\" + Core::WstringFromUtf8(brand) + L"\\" + Core::WstringFromUtf8(subKey);
}

std::string ReadWebUidValue(const std::string& brand, const std::string& subKey) {
    const std::wstring path = WebUidRegistryPath(brand, subKey);
    constexpr DWORD flags = RRF_RT_REG_SZ;
    DWORD bytes = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), kWebUidValueName, flags, nullptr, nullptr, &bytes) !=
        ERROR_SUCCESS) {
        return {};
    }
    // The value may grow between the two calls: retry a few times with the size the last call reported.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(HKEY_CURRENT_USER, path.c_str(), kWebUidValueName, flags, nullptr, text.data(), &size);
        if (status == ERROR_MORE_DATA) {
            bytes = size;
            continue;
        }
        if (status != ERROR_SUCCESS) return {};
        text.resize(wcsnlen(text.c_str(), text.size()));
        return Core::Utf8FromWstring(text);
    }
    return {};
}

} // namespace Nolvar::App
