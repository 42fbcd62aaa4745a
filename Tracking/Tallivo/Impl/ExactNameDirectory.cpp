#include "Tracking/Tallivo/Impl/ExactNameDirectory.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Tracking::Instant {

namespace {

// Wine's own export: the Unix path of a Windows path, allocated on the process heap (null on failure).
using UnixFileNameFunction = char*(__cdecl*)(const wchar_t*);

UnixFileNameFunction WineUnixFileName() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return nullptr;  // not Wine
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<UnixFileNameFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "wine_get_unix_file_name")));
}

struct FileIdentity {
    DWORD volume = 0;
    DWORD indexHigh = 0;
    DWORD indexLow = 0;
    bool operator==(const FileIdentity&) const = default;
};

bool IdentityOfDirectory(const std::wstring& path, FileIdentity& identity) {
    const Core::UniqueKernelHandle handle(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!handle || !GetFileInformationByHandle(handle.get(), &info)) return false;
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

} // namespace

ioPath ExactNameDirectory(const ioPath& directory) {
    const UnixFileNameFunction unixFileName = WineUnixFileName();
    if (!unixFileName) return directory;
    char* const unixName = unixFileName(directory.wstring().c_str());
    if (!unixName) return directory;
    // Wine names Unix paths in UTF-8 under a UTF-8 locale; the identity check below catches any other case.
    std::wstring exact = L"\\\\?\\unix" + Core::WstringFromUtf8(unixName);
    HeapFree(GetProcessHeap(), 0, unixName);
    std::replace(exact.begin(), exact.end(), L'/', L'\\');
    while (exact.size() > 1 && exact.back() == L'\\') exact.pop_back();

    FileIdentity expected, found;
    if (!IdentityOfDirectory(directory.wstring(), expected) || !IdentityOfDirectory(exact, found) ||
        !(expected == found)) {
        return directory;
    }
    return ioPath(exact);
}

} // namespace Nolvar::Tracking::Instant
