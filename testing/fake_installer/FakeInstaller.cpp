// A stand-in for a product's silent installer, driven by its own arguments (the installer's usual ones, such as
// /S, /D= and /LOCALE=, are accepted and ignored):
//   /FAKE_EXIT=<n>           exit with code n (default 0)
//   /FAKE_EXIT_FIRST=<n>     exit with code n on the first run of this file ("<own path>.ran" marks it run)
//   /FAKE_SLEEP=<ms>         sleep that long before finishing
//   /FAKE_WAIT_FOR=<name>    wait (up to two minutes) until a file of that name exists next to this program
//   /FAKE_UNINSTALL=<HKCU|HKLM>:<64|32>:<name>
//                            register an Uninstall entry <name> in that hive and view, for the folder of /D=;
//                            the folder gets the product's executable (a copy of this program) and an uninstaller
//   /FAKE_PRODUCT=<file>     the product executable's file name (default "product.exe")
//   /FAKE_START_PRODUCT      start the product from the folder of /D=
//   /FAKE_PRODUCT_LIFETIME=<ms> how long the started product runs (default 30000)
// At start it writes its raw command line as UTF-8 to "<own path>.cmdline"; when it ends by itself it writes
// "<own path>.done". A killed run leaves no ".done" file.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path;
}

bool WriteUtf8File(const std::wstring& file, const std::wstring& text) {
    std::string utf8;
    if (!text.empty()) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                          nullptr, nullptr);
        utf8.resize(n);
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), n, nullptr,
                            nullptr);
    }
    HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(h);
    return ok && written == utf8.size();
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix, std::wstring* rest) {
    const std::size_t n = std::wcslen(prefix);
    if (text.compare(0, n, prefix) != 0) return false;
    *rest = text.substr(n);
    return true;
}

struct Options {
    int exitCode = 0;
    bool hasFirstExitCode = false;
    int firstExitCode = 0;
    DWORD sleepMs = 0;
    std::wstring waitFor;
    std::wstring folder;
    std::vector<std::wstring> uninstallEntries;
    std::wstring productFile = L"product.exe";
    bool startProduct = false;
    DWORD productLifetimeMs = 30000;
};

Options ParseOptions() {
    Options options;
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; argv && i < argc; ++i) {
        const std::wstring arg = argv[i];
        std::wstring value;
        if (StartsWith(arg, L"/FAKE_EXIT=", &value)) options.exitCode = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
        else if (StartsWith(arg, L"/FAKE_EXIT_FIRST=", &value)) {
            options.hasFirstExitCode = true;
            options.firstExitCode = static_cast<int>(std::wcstol(value.c_str(), nullptr, 10));
        } else if (StartsWith(arg, L"/FAKE_SLEEP=", &value)) options.sleepMs = std::wcstoul(value.c_str(), nullptr, 10);
        else if (StartsWith(arg, L"/FAKE_WAIT_FOR=", &value)) options.waitFor = value;
        else if (StartsWith(arg, L"/FAKE_UNINSTALL=", &value)) options.uninstallEntries.push_back(value);
        else if (StartsWith(arg, L"/FAKE_PRODUCT=", &value)) options.productFile = value;
        else if (arg == L"/FAKE_START_PRODUCT") options.startProduct = true;
        else if (StartsWith(arg, L"/FAKE_PRODUCT_LIFETIME=", &value)) options.productLifetimeMs = std::wcstoul(value.c_str(), nullptr, 10);
        else if (StartsWith(arg, L"/D=", &value)) options.folder = value;
    }
    LocalFree(argv);
    return options;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// "<HKCU|HKLM>:<64|32>:<name>"
bool RegisterUninstallEntry(const std::wstring& spec, const std::wstring& folder, const std::wstring& productFile) {
    const std::size_t first = spec.find(L':');
    const std::size_t second = first == std::wstring::npos ? first : spec.find(L':', first + 1);
    if (second == std::wstring::npos) return false;
    const std::wstring hive = spec.substr(0, first);
    const std::wstring view = spec.substr(first + 1, second - first - 1);
    const std::wstring name = spec.substr(second + 1);
    const HKEY root = hive == L"HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const REGSAM viewFlag = view == L"32" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    const std::wstring self = OwnPath();
    if (!CopyFileW(self.c_str(), (folder + L"\\" + productFile).c_str(), FALSE)) return false;
    if (!CopyFileW(self.c_str(), (folder + L"\\uninstall.exe").c_str(), FALSE)) return false;

    HKEY key = nullptr;
    const std::wstring path = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | viewFlag, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool ok = SetString(key, L"DisplayName", name) && SetString(key, L"InstallLocation", folder) &&
                    SetString(key, L"UninstallString", L"\"" + folder + L"\\uninstall.exe\" /S");
    RegCloseKey(key);
    return ok;
}

bool StartProduct(const std::wstring& folder, const std::wstring& productFile, DWORD lifetimeMs) {
    const std::wstring exe = folder + L"\\" + productFile;
    std::wstring commandLine = L"\"" + exe + L"\" /FAKE_SLEEP=" + std::to_wstring(lifetimeMs);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

int wmain() {
    const std::wstring self = OwnPath();
    if (!WriteUtf8File(self + L".cmdline", GetCommandLineW())) return 100;
    const Options options = ParseOptions();

    if (options.sleepMs) Sleep(options.sleepMs);
    if (!options.waitFor.empty()) {
        const std::wstring file = self.substr(0, self.find_last_of(L"\\/") + 1) + options.waitFor;
        for (int i = 0; i < 2400 && GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(50);
    }
    for (const std::wstring& entry : options.uninstallEntries)
        if (!RegisterUninstallEntry(entry, options.folder, options.productFile)) return 101;
    if (options.startProduct && !StartProduct(options.folder, options.productFile, options.productLifetimeMs)) return 102;

    WriteUtf8File(self + L".done", L"");
    if (options.hasFirstExitCode && GetFileAttributesW((self + L".ran").c_str()) == INVALID_FILE_ATTRIBUTES) {
        WriteUtf8File(self + L".ran", L"");
        return options.firstExitCode;
    }
    return options.exitCode;
}
