#include <windows.h>

#include <fstream>

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

#include "testing/TempFolder.h"
#include "utils/WorkingFolder.h"

using namespace Nolvar;

namespace {
ioPath Ours(const Testing::TempFolder& folder) { return ioPath(folder.path().wstring()); }
} // namespace

TEST(WorkingFolder, CreatedOnceInTheTemporaryDirectory) {
    const ioPath first = GetWorkingFolder();
    EXPECT_TRUE(boost::filesystem::is_directory(first));
    EXPECT_EQ(first.filename().wstring().rfind(L"Netsetter-", 0), 0u);
    EXPECT_EQ(first.parent_path(), boost::filesystem::temp_directory_path());
    EXPECT_EQ(GetWorkingFolder(), first);
}

TEST(WorkingFolder, RemovalSparesTheFolderOfARunningInstaller) {
    Testing::TempFolder temp;
    std::unique_ptr<Detail::WorkingFolderLock> runningLock;
    std::unique_ptr<Detail::WorkingFolderLock> finishedLock;
    const ioPath running = Detail::CreateWorkingFolderIn(Ours(temp), runningLock);
    const ioPath finished = Detail::CreateWorkingFolderIn(Ours(temp), finishedLock);
    ASSERT_NE(running, finished);
    Testing::WriteWholeFile((running / L"log.txt").wstring(), "still writing");
    Testing::WriteWholeFile((finished / L"config.json").wstring(), "{}");
    boost::filesystem::create_directories(Ours(temp) / L"Netsetter-old" / L"sub");
    boost::filesystem::create_directories(Ours(temp) / L"netsetter-lowercase");
    Testing::WriteWholeFile((Ours(temp) / L"Netsetter-file").wstring(), "not a folder");
    finishedLock.reset(); // that run has ended

    Detail::RemoveWorkingFoldersIn(Ours(temp));
    EXPECT_TRUE(boost::filesystem::exists(running / L"log.txt"));
    EXPECT_TRUE(boost::filesystem::exists(running / L"netsetter.lock"));
    EXPECT_FALSE(boost::filesystem::exists(finished));
    EXPECT_FALSE(boost::filesystem::exists(Ours(temp) / L"Netsetter-old"));
    EXPECT_TRUE(boost::filesystem::exists(Ours(temp) / L"netsetter-lowercase"));
    EXPECT_TRUE(boost::filesystem::exists(Ours(temp) / L"Netsetter-file"));

    runningLock.reset();
    Detail::RemoveWorkingFoldersIn(Ours(temp));
    EXPECT_FALSE(boost::filesystem::exists(running));
}

TEST(WorkingFolder, RandomFilePathsAreNewAndCarryTheExtension) {
    Testing::TempFolder temp;
    const ioPath a = MakeRandomFilePath(Ours(temp), "png", "_img");
    EXPECT_EQ(a.parent_path(), Ours(temp));
    EXPECT_EQ(a.extension(), ioPath(L".png"));
    EXPECT_NE(a.stem().wstring().find(L"_img"), std::wstring::npos);
    const ioPath b = MakeRandomFilePath(Ours(temp), ".exe", "");
    EXPECT_EQ(b.extension(), ioPath(L".exe"));
    EXPECT_FALSE(boost::filesystem::exists(b));
    const ioPath c = MakeRandomFilePath(Ours(temp), ".tmp", "_part.bin");
    EXPECT_EQ(c.filename().wstring().find(L"_part.tmp"), c.filename().wstring().size() - 9);
}
