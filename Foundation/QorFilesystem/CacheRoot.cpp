#include "QorFilesystem/CacheRoot.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <stdexcept>

namespace Nolvar::Core {

ioPath GetSystemCacheRoot() {
    PWSTR folder = nullptr;
    const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_DEFAULT, nullptr, &folder);
    if (FAILED(result) || folder == nullptr) {
        CoTaskMemFree(folder);
        throw std::runtime_error("SHGetKnownFolderPath(LocalAppData) failed");
    }
    ioPath root(folder);
    CoTaskMemFree(folder);
    return root;
}

} // namespace Nolvar::Core
