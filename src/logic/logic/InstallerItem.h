#pragma once
// One product installer of the configuration as the installer logic tracks it through download and installation.
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QorFilesystem/Path.h"
#include "utils/AppSearcher.h"
#include "utils/IInstallerExecutor.h"

namespace Nolvar {

enum class ItemStatus : std::int32_t {
    New = 0,
    Downloading = 1,
    Downloaded = 2,
    DownloadFailed = 3,
    Installing = 4,
    Installed = 5,
    InstallFailed = 6,
    Skipped = 8,
};

struct InstallerItem {
    // From the configuration entry.
    std::string id;
    std::string url;
    std::string displayName;
    std::int32_t installOrder = 0;
    std::vector<std::string> installArgs;
    SearchKeys searchKeys;
    // Filled by the logic.
    std::string exeName;
    ioPath targetPath;
    ItemStatus status = ItemStatus::New;
    InstalledApplication installed;
    std::int32_t downloadErrorCount = 0;
    std::int32_t installErrorCount = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t receivedBytes = 0;
    std::int64_t downloadStarted = 0;   // steady-clock nanoseconds of the current attempt; 0 before the first
    // From the configuration entry.
    bool checkAppRunning = false;
    bool autodetectArch = false;
    // The launcher of the latest start; replaced by each new start.
    std::unique_ptr<IInstallerExecutor> executor;
};

using InstallerItems = std::vector<InstallerItem>;

// The first item with this id; end() when none.
InstallerItems::iterator FindItemById(InstallerItems& items, const std::string& id);
InstallerItems::const_iterator FindItemById(const InstallerItems& items, const std::string& id);

// The first item with this install order; end() when none.
InstallerItems::iterator FindItemByInstallOrder(InstallerItems& items, std::int32_t installOrder);
InstallerItems::const_iterator FindItemByInstallOrder(const InstallerItems& items, std::int32_t installOrder);

// The item's display name, else the product's display name from the settings.
std::string ItemDisplayName(const InstallerItem& item);

// Stable, ascending by install order.
void SortByInstallOrder(InstallerItems& items);

// The launcher of an item's downloaded installer, with the item's install arguments and those from the settings.
std::unique_ptr<IInstallerExecutor> CreateInstallerExecutor(IInstallerExecutorObserver& observer,
                                                            const InstallerItem& item,
                                                            std::chrono::milliseconds waitLimit = INSTALLER_WAIT_LIMIT);

} // namespace Nolvar
