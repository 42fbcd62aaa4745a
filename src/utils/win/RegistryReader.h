#pragma once
// Reading the registry without failing: each read gives empty text when the key or value cannot be read.
#include <windows.h>

#include <string>

namespace Nolvar {

// An open registry key, closed when the object goes.
class RegistryKey {
public:
    RegistryKey() = default;
    // Opens `subKey` under `root` with `access` (which may carry a KEY_WOW64_* view flag); check `isOpen`.
    RegistryKey(HKEY root, const std::wstring& subKey, REGSAM access);
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool isOpen() const { return m_key != nullptr; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// Name of the sub-key at `index`, read into a buffer of `bufferLength` characters that doubles while too small.
std::wstring EnumRegistrySubKey(HKEY key, DWORD index, DWORD bufferLength);

// The REG_SZ value `valueName` of `subKey` under `key`, up to its first zero character. The first read uses
// `bufferSize` bytes; a larger value is read again with the size the registry reports.
std::wstring ReadRegistryString(HKEY key, const std::wstring& subKey, const std::wstring& valueName,
                                DWORD bufferSize = 256);

} // namespace Nolvar
