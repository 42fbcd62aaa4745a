#include "logic/logic/DownloadItem.h"

#include "utils/UrlUtils.h"

namespace Nolvar::Util {

bool ValidateResourceByExt(const DownloadItem& item) { return ValidateUrlExtensionForKind(item.kind, item.url); }

} // namespace Nolvar::Util
