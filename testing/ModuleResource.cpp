#include "testing/ModuleResource.h"

#include <windows.h>

#include "QorPointer/UniqueHandle.h"

namespace Testing {

std::string ReadModuleResource(const std::filesystem::path& module, const wchar_t* name) {
    const Nolvar::Core::UniqueModule loaded(
        LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    HRSRC resource = loaded ? FindResourceW(loaded.get(), name, MAKEINTRESOURCEW(10) /* RT_RCDATA */) : nullptr;
    HGLOBAL data = resource ? LoadResource(loaded.get(), resource) : nullptr;
    if (!data) return {};
    return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(loaded.get(), resource));
}

} // namespace Testing
