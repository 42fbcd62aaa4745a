#pragma once
// Whether an item's product is already running.
#include "logic/logic/InstallerItem.h"

namespace Nolvar {

// False unless the item asks for the check; then true when a process of the item's executable name runs and
// the product is found installed.
bool IsProductRunning(const InstallerItem& item);

} // namespace Nolvar
