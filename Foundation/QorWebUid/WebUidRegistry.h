#pragma once
// Where web user ids live in the registry: the REG_SZ value "WEBUID" under
// HKEY_CURRENT_USER\SOFTWARE\<brand>\<sub-key>.
#include <string>

namespace Nolvar::App {

inline constexpr const wchar_t* kWebUidValueName = L"WEBUID";

// "SOFTWARE\<brand>\<subKey>".
std::wstring WebUidRegistryPath(const std::string& brand, const std::string& subKey);

// The stored text (UTF-8); empty when the key or the value is missing or is not a string.
std::string ReadWebUidValue(const std::string& brand, const std::string& subKey);

} // namespace Nolvar::App
