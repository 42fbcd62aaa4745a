// The demo product's silent installer, which the demo configuration offers for download.
//
//   NetsetterDemoSetup.exe [/S] /D=<folder> [/LOCALE=<ll_CC>] [other switches are accepted and recorded]
//       installs the demo product into <folder>: the product program "netsetter.exe", its uninstaller and a
//       record of the arguments received ("install-arguments.txt"), and registers it as "Netsetter" among the
//       current user's installed programs.
//   uninstall.exe /UNINSTALL [/S]   (as written into the registration) removes the registration and the files.
//   netsetter.exe                   the product itself: a small window that says where it is installed.
// Exit codes follow the installer exit states: 0 success, 6 installation failed, 8 unusable folder.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "QorPointer/UniqueHandle.h"

namespace {

using Nolvar::Core::UniqueKernelHandle;
using Nolvar::Core::UniqueLocalMemory;
using Nolvar::Core::UniqueRegKey;

constexpr int kExitSuccess = 0;
constexpr int kExitInstallerError = 6;
constexpr int kExitIncorrectPath = 8;

constexpr wchar_t kRegistrationKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Netsetter";
constexpr wchar_t kProductFile[] = L"netsetter.exe";
constexpr wchar_t kUninstallerFile[] = L"uninstall.exe";
constexpr wchar_t kArgumentsFile[] = L"install-arguments.txt";
constexpr wchar_t kDisplayName[] = L"Netsetter (demo)";
constexpr wchar_t kVersion[] = L"2.0.0";

struct Arguments {
    bool silent = false;
    bool uninstall = false;
    bool haveFolder = false;
    std::wstring folder;
    std::wstring locale;
};

std::vector<std::wstring> CommandLineArguments() {
    int argc = 0;
    UniqueLocalMemory memory(reinterpret_cast<HLOCAL>(CommandLineToArgvW(GetCommandLineW(), &argc)));
    auto* argv = reinterpret_cast<LPWSTR*>(memory.get());
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
}

bool TakeValue(const std::wstring& argument, const wchar_t* prefix, std::wstring* value) {
    const std::wstring start(prefix);
    if (argument.compare(0, start.size(), start) != 0) return false;
    *value = argument.substr(start.size());
    return true;
}

Arguments ParseArguments(const std::vector<std::wstring>& arguments) {
    Arguments parsed;
    for (const std::wstring& argument : arguments) {
        std::wstring value;
        if (argument == L"/S") parsed.silent = true;
        else if (argument == L"/UNINSTALL") parsed.uninstall = true;
        else if (TakeValue(argument, L"/D=", &value)) parsed.haveFolder = true, parsed.folder = value;
        else if (TakeValue(argument, L"/LOCALE=", &value)) parsed.locale = value;
    }
    while (parsed.folder.size() > 3 && (parsed.folder.back() == L'\\' || parsed.folder.back() == L'/'))
        parsed.folder.pop_back();
    return parsed;
}

std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return path;
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

bool WriteTextFile(const std::wstring& path, const std::wstring& text) {
    UniqueKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    const std::string bytes = Utf8(text);
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// Creates the folder and its missing parents.
bool CreateFolderTree(const std::wstring& folder) {
    if (folder.empty()) return false;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const std::wstring parent = FolderOf(folder);
    if (!parent.empty() && parent != folder && parent.back() != L':' && !CreateFolderTree(parent)) return false;
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Register(const std::wstring& folder) {
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kRegistrationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    const std::wstring uninstaller = folder + L"\\" + kUninstallerFile;
    return SetString(key.get(), L"DisplayName", kDisplayName) && SetString(key.get(), L"DisplayVersion", kVersion) &&
           SetString(key.get(), L"Publisher", L"Netsetter demo") &&
           SetString(key.get(), L"InstallLocation", folder) &&
           SetString(key.get(), L"DisplayIcon", folder + L"\\" + kProductFile) &&
           SetString(key.get(), L"UninstallString", L"\"" + uninstaller + L"\" /UNINSTALL /S");
}

std::wstring JoinArguments(const std::vector<std::wstring>& arguments) {
    std::wstring text;
    for (const std::wstring& argument : arguments) text += argument + L"\r\n";
    return text;
}

int Install(const Arguments& arguments, const std::vector<std::wstring>& raw) {
    if (!arguments.haveFolder || arguments.folder.empty() || !CreateFolderTree(arguments.folder))
        return kExitIncorrectPath;
    const std::wstring self = OwnPath();
    const std::wstring product = arguments.folder + L"\\" + kProductFile;
    const std::wstring uninstaller = arguments.folder + L"\\" + kUninstallerFile;
    if (!CopyFileW(self.c_str(), product.c_str(), FALSE) || !CopyFileW(self.c_str(), uninstaller.c_str(), FALSE))
        return kExitInstallerError;
    if (!WriteTextFile(arguments.folder + L"\\" + kArgumentsFile, JoinArguments(raw))) return kExitInstallerError;
    if (!Register(arguments.folder)) return kExitInstallerError;
    return kExitSuccess;
}

int Uninstall() {
    const std::wstring folder = FolderOf(OwnPath());
    RegDeleteKeyW(HKEY_CURRENT_USER, kRegistrationKey);
    DeleteFileW((folder + L"\\" + kProductFile).c_str());
    DeleteFileW((folder + L"\\" + kArgumentsFile).c_str());
    // The running uninstaller and its folder go at the next restart.
    MoveFileExW(OwnPath().c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExW(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return kExitSuccess;
}

int ShowProduct() {
    const std::wstring text = L"The Netsetter demo product is installed in\n" + FolderOf(OwnPath());
    MessageBoxW(nullptr, text.c_str(), kDisplayName, MB_OK | MB_ICONINFORMATION);
    return kExitSuccess;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::vector<std::wstring> raw = CommandLineArguments();
    const Arguments arguments = ParseArguments(raw);
    if (arguments.uninstall) return Uninstall();
    if (arguments.haveFolder || arguments.silent) return Install(arguments, raw);
    return ShowProduct();
}
