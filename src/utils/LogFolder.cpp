#include "utils/LogFolder.h"

#include <windows.h>

#include <boost/filesystem/operations.hpp>

#include "QorPointer/UniqueHandle.h"

namespace Nolvar {
namespace {

// Empty when a file can be created in `folder` (created first when missing); otherwise the reason.
std::string WhyNotWritable(const ioPath& folder) {
    boost::system::error_code error;
    boost::filesystem::create_directories(folder, error);
    if (error) return error.message();
    const ioPath probe = folder / L"netsetter-log-probe.tmp";
    const Core::UniqueKernelHandle file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) {
        const DWORD error = GetLastError();  // the owner keeps it; the text below is built after reading it
        return "cannot write there (error " + std::to_string(error) + ")";
    }
    return {};
}

} // namespace

LogFolderChoice ChooseLogFolder(const std::optional<std::string>& requested, const ioPath& workingFolder) {
    if (!requested || requested->empty()) return {workingFolder, {}};
    const ioPath folder = Core::PathFromUtf8(*requested);
    const std::string reason = WhyNotWritable(folder);
    if (reason.empty()) return {folder, {}};
    return {workingFolder, "Log folder \"" + *requested + "\" cannot be used (" + reason + "); logging to \"" +
                               Core::Utf8FromPath(workingFolder) + "\" instead"};
}

} // namespace Nolvar
