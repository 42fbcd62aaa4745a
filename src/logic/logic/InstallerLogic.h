#pragma once
// The installer logic: the whole installation, from the configuration download to the last product installer,
// run on the calling thread.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "QorFilesystem/Path.h"
#include "QorWebUid/WebUidManager.h"
#include "logic/logic/ConfigDataProvider.h"
#include "logic/logic/EasyFetchwell.h"
#include "utils/IInstallerExecutor.h"

namespace Nolvar {

class ISplash;
class ISplashEventObserver;
class IStatisticsTracker;
struct InstallerItem;

// What the logic is built from. The application passes the window and the folder picker; tests pass their own
// parts and shorter limits. Every default is the product's.
struct InstallerLogicParts {
    // The splash the run drives, with the logic as its observer: made for it, or one already on screen handed over.
    using SplashAttacher = std::function<std::unique_ptr<ISplash>(ISplashEventObserver&)>;
    // Text id of the title, then the folder to start in; the chosen folder, or empty when the user cancelled.
    using FolderPicker = std::function<ioPath(int titleTextId, const ioPath& folder)>;
    using FreeSpaceQuery = std::function<std::uint64_t(const ioPath&)>;
    using ConfigSource = std::function<std::shared_ptr<IConfigDataProvider>(const ioPath& configFile)>;
    using DownloadsMaker = std::function<std::shared_ptr<IInstallerDownloads>(std::shared_ptr<EventLoop> loop)>;
    using InstallerLauncher = std::function<std::unique_ptr<IInstallerExecutor>(
        IInstallerExecutorObserver& observer, const InstallerItem& item, std::chrono::milliseconds waitLimit)>;

    SplashAttacher attachSplash;                 // required
    FolderPicker selectFolder;                   // empty: the folder button does nothing
    // Null: a JsonStatisticsTracker over the tracking library's process tracker.
    std::shared_ptr<IStatisticsTracker> statistics;
    FreeSpaceQuery freeDiskSpace;                // empty: GetFreeDiskSpace
    ConfigSource configSource;                   // empty: the downloaded file and the built-in configuration
    EasyFetchwellOptions downloads;
    DownloadsMaker makeDownloads;                // empty: EasyFetchwell with `downloads`
    InstallerLauncher launchInstaller;           // empty: CreateInstallerExecutor
    std::string webUidServiceUrl = App::WebUidManager::DefaultServiceUrl();
    std::chrono::milliseconds installerWaitLimit = INSTALLER_WAIT_LIMIT;
    // How long the run waits for the product its installer launched.
    std::chrono::milliseconds launchedProductWait = std::chrono::minutes(1);
    std::chrono::milliseconds launchedProductPoll = std::chrono::milliseconds(100);
    // How long the first screen waits for its image before it shows without it.
    std::chrono::milliseconds startScreenWait = std::chrono::seconds(10);
};

class InstallerLogic {
public:
    explicit InstallerLogic(InstallerLogicParts parts);
    ~InstallerLogic();
    InstallerLogic(const InstallerLogic&) = delete;
    InstallerLogic& operator=(const InstallerLogic&) = delete;

    // The whole run; false when it ended normally (also after a cancel or a give-up), true when an exception
    // ended it (logged at ERROR).
    bool Run();

    class Impl;

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace Nolvar
