#pragma once
// Reading the registry without failing: each read gives empty text when the key or value cannot be read.
#include <windows.h>

#include <string>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar {

// Opens `subKey` under `root` with `access` (which may carry a KEY_WOW64_* view flag); empty when it cannot.
Core::UniqueRegKey OpenRegistryKey(HKEY root, const std::wstring& subKey, REGSAM access);

// Name of the sub-key at `index`, read into a buffer of `bufferLength` characters that doubles while too small.
std::wstring EnumRegistrySubKey(HKEY key, DWORD index, DWORD bufferLength);

// The REG_SZ value `valueName` of `subKey` under `key`, up to its first zero character. The first read uses
// `bufferSize` bytes; a larger value is read again with the size the registry reports.
std::wstring ReadRegistryString(HKEY key, const std::wstring& subKey, const std::wstring& valueName,
                                DWORD bufferSize = 256);

} // namespace Nolvar
