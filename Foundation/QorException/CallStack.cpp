#include "QorException/CallStack.h"

#include <windows.h>

#include <fmt/format.h>

#include "QorString/Utf.h"

namespace Nolvar::Core {

namespace {

std::string ModuleName(HMODULE module) {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH);
    if (length == 0) return "?";
    std::wstring path(buffer, length);
    const auto slash = path.find_last_of(L"\\/");
    return Utf8FromWstring(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

} // namespace

std::string GetCallStack() {
    void* frames[62];
    const USHORT count = RtlCaptureStackBackTrace(1, 62, frames, nullptr);
    std::string text;
    for (USHORT i = 0; i < count; ++i) {
        HMODULE module = nullptr;
        const auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
        if (i > 0) text += '\n';
        if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCWSTR>(frames[i]), &module)) {
            text += fmt::format("#{} {}+0x{:x}", i, ModuleName(module), address - reinterpret_cast<std::uintptr_t>(module));
        } else {
            text += fmt::format("#{} 0x{:x}", i, address);
        }
    }
    return text;
}

} // namespace Nolvar::Core
