#include <windows.h>

#include <chrono>
#include <thread>

#include <boost/filesystem/directory.hpp>
#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"
#include "utils/WorkingFolder.h"

using namespace Nolvar;

namespace {

constexpr wchar_t kChildVariable[] = L"NETSETTER_WORKING_FOLDER_CHILD";

std::wstring Variable(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
    return value;
}

ioPath FindWorkingFolder(const ioPath& temp) {
    boost::system::error_code error;
    for (boost::filesystem::directory_iterator it(temp, error), end; !error && it != end; it.increment(error))
        if (boost::filesystem::exists(it->path() / L"netsetter.lock")) return it->path();
    return {};
}

} // namespace

// The other installer: keeps its working folder under the given temporary folder until it is ended.
TEST(WorkingFolderChild, DISABLED_HoldFolder) {
    const std::wstring temp = Variable(kChildVariable);
    ASSERT_FALSE(temp.empty());
    std::unique_ptr<Detail::WorkingFolderLock> lock;
    Detail::CreateWorkingFolderIn(ioPath(temp), lock);
    Sleep(120000);
}

TEST(WorkingFolder, AnotherRunningInstallerKeepsItsFolderUntilItEnds) {
    Testing::TempFolder temp;
    Testing::ChildProcess child =
        Testing::StartOwnTest("WorkingFolderChild.DISABLED_HoldFolder", kChildVariable, temp.path().wstring());

    const ioPath ours(temp.path().wstring());
    ioPath folder;
    for (int i = 0; i < 300 && folder.empty(); ++i) {
        folder = FindWorkingFolder(ours);
        if (folder.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(folder.empty());
    Detail::RemoveWorkingFoldersIn(ours);
    EXPECT_TRUE(boost::filesystem::exists(folder / L"netsetter.lock"));

    child.terminate();
    Detail::RemoveWorkingFoldersIn(ours);
    EXPECT_FALSE(boost::filesystem::exists(folder));
}
