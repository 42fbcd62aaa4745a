#pragma once
// A brand of its own for one test: HKCU\SOFTWARE\<brand> is removed with everything under it when it goes.
#include <string>

#include <windows.h>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

class RegistryBrand {
public:
    explicit RegistryBrand(const std::string& tag)
        : m_name("NetsetterTest-" + tag + "-" + std::to_string(GetCurrentProcessId())) {
        remove();
    }
    ~RegistryBrand() { remove(); }
    RegistryBrand(const RegistryBrand&) = delete;
    RegistryBrand& operator=(const RegistryBrand&) = delete;

    const std::string& name() const { return m_name; }

    // Writes a string value under SOFTWARE\<brand>\<subKey>.
    void write(const std::string& subKey, const std::string& value, const wchar_t* valueName = L"WEBUID") const {
        const std::wstring text = Nolvar::Core::WstringFromUtf8(value);
        RegSetKeyValueW(HKEY_CURRENT_USER, path(subKey).c_str(), valueName, REG_SZ, text.c_str(),
                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    void writeNumber(const std::string& subKey, DWORD number) const {
        RegSetKeyValueW(HKEY_CURRENT_USER, path(subKey).c_str(), L"WEBUID", REG_DWORD, &number, sizeof(number));
    }

    // The REG_SZ "WEBUID" under SOFTWARE\<brand>\<subKey>; "<absent>" when there is none.
    std::string read(const std::string& subKey) const {
        wchar_t buffer[512] = {};
        DWORD size = sizeof(buffer);
        if (RegGetValueW(HKEY_CURRENT_USER, path(subKey).c_str(), L"WEBUID", RRF_RT_REG_SZ, nullptr, buffer, &size) !=
            ERROR_SUCCESS) {
            return "<absent>";
        }
        return Nolvar::Core::Utf8FromWstring(buffer);
    }

    // Last write time of SOFTWARE\<brand>\<subKey>, 0 when the key is missing.
    unsigned long long lastWriteTime(const std::string& subKey) const {
        Nolvar::Core::UniqueRegKey key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, path(subKey).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return 0;
        FILETIME time = {};
        RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, &time);
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    }

private:
    std::wstring path(const std::string& subKey) const {
        return L"SOFTWARE\\" + Nolvar::Core::WstringFromUtf8(m_name) + L"\\" + Nolvar::Core::WstringFromUtf8(subKey);
    }
    void remove() const {
        RegDeleteTreeW(HKEY_CURRENT_USER, (L"SOFTWARE\\" + Nolvar::Core::WstringFromUtf8(m_name)).c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, (L"SOFTWARE\\" + Nolvar::Core::WstringFromUtf8(m_name)).c_str());
    }

    std::string m_name;
};
