#include "logic/logic/ProductRunning.h"

#include "QorOS/Process.h"

namespace Nolvar {

bool IsProductRunning(const InstallerItem& item) {
    if (!item.checkAppRunning) return false;
    if (!Core::IsProcessRunning(item.exeName, "")) return false;
    return !FindInstalledApplication(item.searchKeys).executablePath.empty();
}

} // namespace Nolvar
