#include "utils/InstallerArguments.h"

#include "QorFilesystem/Path.h"
#include "utils/Settings.h"
#include "utils/TextUtils.h"

namespace Nolvar {

std::vector<std::string> BuildInstallerArguments(const std::vector<std::string>& installArgs) {
    std::vector<std::string> arguments = installArgs;

    ioPath folder = Settings::GetPath(Settings::ID::InstallFolder, ioPath());
    folder.make_preferred();
    std::string folderText = Core::Utf8FromPath(folder);
    if (!folderText.empty() && folderText.back() == '\\') folderText.pop_back();
    arguments.push_back("/D=" + folderText);

    arguments.push_back("/LOCALE=" + DashToUnderscore(GetCurrentLocale()));

    const std::string webUid = Settings::GetString(Settings::ID::WebUid, "");
    if (!webUid.empty() && webUid != Settings::GetString(Settings::ID::HardwareId, "")) {
        arguments.push_back("/WEBUID=" + webUid);
        arguments.push_back("/NO_MERGE_WEBUIDS");
    }

    const std::string browser = Settings::GetString(Settings::ID::PreferredBrowser, "");
    if (!browser.empty()) arguments.push_back("/PREFERRED_BROWSER=" + browser);
    return arguments;
}

} // namespace Nolvar
