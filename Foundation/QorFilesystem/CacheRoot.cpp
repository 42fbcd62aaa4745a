#include "QorFilesystem/CacheRoot.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <stdexcept>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar::Core {

ioPath GetSystemCacheRoot() {
    UniqueCoTaskPtr<PWSTR> folder;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, folder.put());
    if (FAILED(result) || !folder) throw std::runtime_error("SHGetKnownFolderPath(LocalAppData) failed");
    return ioPath(folder.get());
}

} // namespace Nolvar::Core
