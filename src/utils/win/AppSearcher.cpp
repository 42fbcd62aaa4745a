#include "utils/AppSearcher.h"

#include <windows.h>

#include <climits>
#include <cstdlib>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>
#include <glog/logging.h>

#include "QorString/Utf.h"
#include "utils/win/RegistryReader.h"

namespace Nolvar {

namespace {

struct UninstallView {
    HKEY root;
    REGSAM viewFlag;
};

const UninstallView kUninstallViews[] = {
    {HKEY_CURRENT_USER, KEY_WOW64_64KEY},
    {HKEY_CURRENT_USER, KEY_WOW64_32KEY},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
    {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY},
};

constexpr wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string SearchKey(const SearchKeys& keys, const char* name) {
    auto it = keys.find(name);
    return it == keys.end() ? std::string() : it->second;
}

wchar_t AsciiLower(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool EqualIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

// The folder of the uninstaller: of the quoted program when the command starts with one (its arguments may hold
// slashes, such as "/S"), else of the whole command.
ioPath UninstallerFolder(const std::wstring& uninstallString) {
    if (uninstallString.size() > 1 && uninstallString.front() == L'"') {
        const std::size_t closing = uninstallString.find(L'"', 1);
        if (closing != std::wstring::npos) return ioPath(uninstallString.substr(1, closing - 1)).parent_path();
    }
    return UninstallerPathFromCommand(uninstallString).parent_path();
}

// The executable of one Uninstall sub-key: in its InstallLocation, else next to its uninstaller.
ioPath FindExecutable(HKEY uninstall, const std::wstring& subKey, const std::wstring& uninstallString,
                      const std::string& exeName) {
    const ioPath installLocation(ReadRegistryString(uninstall, subKey, L"InstallLocation"));
    ioPath executable = FindFileInFolder(installLocation, exeName);
    if (executable.empty()) executable = FindFileInFolder(UninstallerFolder(uninstallString), exeName);
    return executable;
}

} // namespace

ioPath UninstallerPathFromCommand(const std::wstring& uninstallString) {
    std::wstring text = uninstallString;
    if (!text.empty() && text.back() == L'"') text.pop_back();
    if (!text.empty() && text.front() == L'"') text.erase(0, 1);
    return ioPath(text);
}

ioPath FindFileInFolder(const ioPath& folder, const std::string& fileName) {
    if (folder.empty()) return {};
    boost::system::error_code ec;
    if (!boost::filesystem::is_directory(folder, ec) || ec) return {};
    const std::wstring wanted = Core::WstringFromUtf8(fileName);
    boost::filesystem::directory_iterator it(folder, ec);
    for (; !ec && it != boost::filesystem::directory_iterator(); it.increment(ec)) {
        const ioPath& entry = it->path();
        if (EqualIgnoringAsciiCase(entry.filename().wstring(), wanted)) return entry;
    }
    if (ec) LOG(INFO) << "Cannot list " << Core::Utf8FromPath(folder) << ": " << ec.message();
    return {};
}

InstalledApplication FindInstalledApplication(const SearchKeys& searchKeys) {
    const std::wstring prefix = Core::WstringFromUtf8(SearchKey(searchKeys, kSearchUninstallKeyPrefix));
    const std::string exeName = SearchKey(searchKeys, kSearchExeName);
    LOG(INFO) << "Trying to find " << exeName;

    InstalledApplication result;
    int best = INT_MIN;
    for (const UninstallView& view : kUninstallViews) {
        const Core::UniqueRegKey uninstall =
            OpenRegistryKey(view.root, kUninstallKey, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | view.viewFlag);
        if (!uninstall) continue;
        DWORD count = 0;
        DWORD longest = 0;
        if (RegQueryInfoKeyW(uninstall.get(), nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            continue;
        for (DWORD index = 0; index < count; ++index) {
            const std::wstring name = EnumRegistrySubKey(uninstall.get(), index, longest + 1);
            if (name.empty() || name.size() < prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
                continue;
            const int suffix = _wtoi(name.c_str() + prefix.size());
            if (suffix <= best) continue;
            const std::wstring uninstallString = ReadRegistryString(uninstall.get(), name, L"UninstallString");
            ioPath uninstaller = UninstallerPathFromCommand(uninstallString);
            if (uninstaller.empty()) continue;
            ioPath executable = FindExecutable(uninstall.get(), name, uninstallString, exeName);
            if (executable.empty()) continue;
            result = {std::move(executable), std::move(uninstaller)};
            best = suffix;
        }
    }

    if (!result.executablePath.empty())
        LOG(INFO) << Core::Utf8FromPath(result.executablePath) << " found";
    else
        LOG(INFO) << exeName << " not found";
    return result;
}

} // namespace Nolvar
