#include "QorOS/Process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "QorFilesystem/Path.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"

namespace Nolvar::Core {
namespace {

std::wstring ImagePath(DWORD processId) {
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return {};
    std::wstring buffer(32768, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, buffer.data(), &size)) return {};
    buffer.resize(size);
    return buffer;
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Ids of the processes whose executable file name is `exeName`.
std::vector<DWORD> FindProcesses(const std::wstring& exeName) {
    std::vector<DWORD> found;
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (SameText(entry.szExeFile, exeName)) found.push_back(entry.th32ProcessID);
    }
    return found;
}

struct WindowSearch {
    DWORD processId;
    HWND window;
};

BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && !GetWindow(window, GW_OWNER)) {
        search->window = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

bool IsProcessRunning(const std::string& exeName, const std::string& folder) {
    if (exeName.empty()) return false;
    const std::vector<DWORD> processes = FindProcesses(WstringFromUtf8(exeName));
    if (folder.empty()) return !processes.empty();
    const ioPath wanted = PathFromUtf8(folder).lexically_normal();
    for (DWORD id : processes) {
        const ioPath image(ImagePath(id));
        if (!image.empty() && SameText(image.parent_path().lexically_normal().wstring(), wanted.wstring()))
            return true;
    }
    return false;
}

bool BringProcessToFront() {
    std::wstring self(32768, L'\0');
    self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::wstring exeName = ioPath(self).filename().wstring();
    for (DWORD id : FindProcesses(exeName)) {
        if (id == GetCurrentProcessId()) continue;
        WindowSearch search{id, nullptr};
        EnumWindows(&FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
        if (!search.window) continue;
        if (IsIconic(search.window)) ShowWindow(search.window, SW_RESTORE);
        SetForegroundWindow(search.window);
        return true;
    }
    return false;
}

} // namespace Nolvar::Core
