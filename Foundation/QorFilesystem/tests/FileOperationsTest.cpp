#include "QorFilesystem/FileOperations.h"

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

#include "QorPointer/UniqueHandle.h"
#include "testing/TempFolder.h"

namespace Nolvar::Core {
namespace {

TEST(ReadWholeFile, ReadsAFileAnotherHandleIsWritingAndSaysWhyItCannot) {
    Testing::TempFolder temp(L"netsetter-read-Папка-");
    const ioPath file((temp / L"событие.json").wstring());
    const std::string content(100000, 'x');
    Testing::WriteWholeFile(temp / L"событие.json", content);
    const UniqueKernelHandle writer(CreateFileW(file.wstring().c_str(), GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(writer);

    const auto whole = read_whole_file(file);
    ASSERT_TRUE(whole);
    EXPECT_EQ(*whole, content);

    const auto capped = read_whole_file(file, 99999);
    ASSERT_FALSE(capped);
    EXPECT_EQ(capped.error().step, ReadFailure::TooLarge);
    EXPECT_EQ(capped.error().size, 100000u);

    const auto missing = read_whole_file(ioPath((temp / L"нет.json").wstring()));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().step, ReadFailure::Open);
    EXPECT_EQ(missing.error().error.value(), ERROR_FILE_NOT_FOUND);
}

} // namespace
} // namespace Nolvar::Core
