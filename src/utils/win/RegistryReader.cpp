#include "utils/win/RegistryReader.h"

#include <algorithm>
#include <vector>

namespace Nolvar {

namespace {

// Registry key names are at most 255 characters and values are bounded too; a buffer beyond this means the
// registry keeps answering "more data" and the read is given up.
constexpr DWORD kMaxKeyNameBuffer = 32768;
constexpr DWORD kMaxValueBuffer = 16 * 1024 * 1024;
constexpr int kValueReadAttempts = 4;

} // namespace

Core::UniqueRegKey OpenRegistryKey(HKEY root, const std::wstring& subKey, REGSAM access) {
    Core::UniqueRegKey key;
    if (RegOpenKeyExW(root, subKey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) key.release();
    return key;
}

std::wstring EnumRegistrySubKey(HKEY key, DWORD index, DWORD bufferLength) {
    DWORD length = bufferLength == 0 ? 1 : bufferLength;
    while (length <= kMaxKeyNameBuffer) {
        std::vector<wchar_t> buffer(length, L'\0');
        DWORD written = length;
        const LSTATUS status =
            RegEnumKeyExW(key, index, buffer.data(), &written, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) return std::wstring(buffer.data(), std::min(written, length));
        if (status != ERROR_MORE_DATA) return {};
        length *= 2;
    }
    return {};
}

std::wstring ReadRegistryString(HKEY key, const std::wstring& subKey, const std::wstring& valueName,
                                DWORD bufferSize) {
    DWORD size = bufferSize < sizeof(wchar_t) ? sizeof(wchar_t) : bufferSize;
    for (int attempt = 0; attempt < kValueReadAttempts && size <= kMaxValueBuffer; ++attempt) {
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        const LSTATUS status = RegGetValueW(key, subKey.c_str(), valueName.c_str(), RRF_RT_REG_SZ, nullptr,
                                            buffer.data(), &got);
        if (status == ERROR_SUCCESS) {
            const std::size_t chars = std::min<std::size_t>(got / sizeof(wchar_t), buffer.size());
            std::wstring text(buffer.data(), chars);
            return text.substr(0, text.find(L'\0'));
        }
        if (status != ERROR_MORE_DATA || got <= size) return {};
        size = got;
    }
    return {};
}

} // namespace Nolvar
