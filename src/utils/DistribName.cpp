#include "utils/DistribName.h"

#include <map>

#include "QorFilesystem/Path.h"
#include "utils/SettingsInit.h"

namespace Nolvar {
namespace {

const std::map<std::string, std::string> BrowserByCode = {
    {"SetupC", "chrome.exe"},  {"SetupE", "msedge.exe"},   {"SetupF", "firefox.exe"}, {"SetupI", "iexplore.exe"},
    {"SetupO", "launcher.exe"}, {"SetupS", "safari.exe"}, {"SetupY", "browser.exe"},
};

} // namespace

namespace Detail {

std::string DistribNameToken(const std::string& fileName, const std::string& marker) {
    const auto found = fileName.find(marker);
    if (found == std::string::npos) return {};
    const auto start = found + marker.size();
    if (start >= fileName.size()) return {};
    const auto end = fileName.find('_', start);
    if (end == std::string::npos) return {};
    return fileName.substr(start, end - start);
}

std::pair<std::string, std::string> FindSetupTag(const std::string& fileName) {
    for (const auto& [code, executable] : BrowserByCode)
        if (fileName.find(code) != std::string::npos) return {executable, code};
    return {};
}

} // namespace Detail

std::string GetDistribFileName() {
    const std::string name = Settings::GetText(Settings::ID::DistribName); // a flag here is a malformed option: no name
    if (name.empty()) return {};
    const ioPath fileName = Core::PathFromUtf8(name).filename();
    return fileName == "." ? std::string() : Core::Utf8FromPath(fileName);
}

std::string GetDistribNameToken(const std::string& marker) { return Detail::DistribNameToken(GetDistribFileName(), marker); }

std::string GetBrowserForSetupTag(const std::string& code) {
    const auto it = BrowserByCode.find("Setup" + code);
    return it == BrowserByCode.end() ? std::string() : it->second;
}

std::pair<std::string, std::string> FindSetupTagInDistribName() { return Detail::FindSetupTag(GetDistribFileName()); }

} // namespace Nolvar
