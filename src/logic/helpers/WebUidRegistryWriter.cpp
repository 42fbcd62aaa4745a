#include <windows.h>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "logic/helpers/WebUidProvider.h"

namespace Nolvar {

bool WriteWebUidToRegistry(const std::string& webUid, const std::string& brand) {
    const std::wstring path =
        L"SOFTWARE\\" + Core::WstringFromUtf8(brand.empty() ? App::WebUidManager::kDefaultBrand : brand) + L"\\User";
    Core::UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const std::wstring value = Core::WstringFromUtf8(webUid);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    const LSTATUS status =
        RegSetValueExW(key.get(), L"WEBUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
    return status == ERROR_SUCCESS;
}

} // namespace Nolvar
