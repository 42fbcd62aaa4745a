#include "logic/logic/InstallerItem.h"

#include <algorithm>

#include "utils/InstallerArguments.h"
#include "utils/Settings.h"
#include "utils/win/InstallerExecutor.h"

namespace Nolvar {

InstallerItems::iterator FindItemById(InstallerItems& items, const std::string& id) {
    return std::find_if(items.begin(), items.end(), [&](const InstallerItem& item) { return item.id == id; });
}

InstallerItems::const_iterator FindItemById(const InstallerItems& items, const std::string& id) {
    return std::find_if(items.begin(), items.end(), [&](const InstallerItem& item) { return item.id == id; });
}

InstallerItems::iterator FindItemByInstallOrder(InstallerItems& items, std::int32_t installOrder) {
    return std::find_if(items.begin(), items.end(),
                        [&](const InstallerItem& item) { return item.installOrder == installOrder; });
}

InstallerItems::const_iterator FindItemByInstallOrder(const InstallerItems& items, std::int32_t installOrder) {
    return std::find_if(items.begin(), items.end(),
                        [&](const InstallerItem& item) { return item.installOrder == installOrder; });
}

std::string ItemDisplayName(const InstallerItem& item) {
    if (!item.displayName.empty()) return item.displayName;
    return Settings::GetString(Settings::ID::ProductDisplayName, "");
}

void SortByInstallOrder(InstallerItems& items) {
    std::stable_sort(items.begin(), items.end(), [](const InstallerItem& a, const InstallerItem& b) {
        return a.installOrder < b.installOrder;
    });
}

std::unique_ptr<IInstallerExecutor> CreateInstallerExecutor(IInstallerExecutorObserver& observer,
                                                            const InstallerItem& item,
                                                            std::chrono::milliseconds waitLimit) {
    return MakeInstallerExecutor(observer, item.id, item.targetPath, BuildInstallerArguments(item.installArgs),
                                 waitLimit);
}

} // namespace Nolvar
