#include "utils/Resources.h"

#include <windows.h>

#include <glog/logging.h>

#include "QorString/Utf.h"
#include "utils/Settings.h"
#include "utils/Localization.h"

namespace Nolvar {

std::string LoadRcDataResource(const std::string& name) {
    HMODULE module = GetModuleHandleW(nullptr);
    const std::wstring wide = Core::WstringFromUtf8(name);
    HRSRC resource = FindResourceW(module, wide.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return {};
    const DWORD size = SizeofResource(module, resource);
    if (size == 0) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) return {};
    const void* data = LockResource(loaded);
    if (!data) return {};
    return std::string(static_cast<const char*>(data), size);
}

std::string GetEulaText() {
    const std::string locale = GetCurrentLocale();
    std::string text = LoadRcDataResource(locale);
    if (!text.empty()) return text;
    LOG(INFO) << "Cannot read EULA content for locale " << locale;
    text = LoadRcDataResource(DefaultLocale());
    if (!text.empty()) LOG(INFO) << "Using EULA for default locale since localized version load failed";
    return text;
}

} // namespace Nolvar
