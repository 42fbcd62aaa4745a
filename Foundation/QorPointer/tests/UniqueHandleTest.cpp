#include "QorPointer/UniqueHandle.h"

#include <gtest/gtest.h>

namespace Nolvar::Core {
namespace {

HANDLE NewEvent() { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueHandle, NullAndInvalidHandleValueAreBothEmpty) {
    EXPECT_FALSE(UniqueKernelHandle{});
    EXPECT_FALSE(UniqueKernelHandle{INVALID_HANDLE_VALUE});
    UniqueKernelHandle file{::CreateFileW(L"Z:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                          nullptr)};
    EXPECT_FALSE(file);
}

TEST(UniqueHandle, ClosingKeepsTheLastErrorOfTheFailedCall) {
    UniqueKernelHandle event{NewEvent()};
    ASSERT_TRUE(event);
    ::SetLastError(ERROR_ACCESS_DENIED);
    event.reset();
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(UniqueHandle, MoveTransfersOwnershipAndResetCloses) {
    UniqueKernelHandle first{NewEvent()};
    const HANDLE raw = first.get();
    UniqueKernelHandle second{std::move(first)};
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), raw);

    second.reset();
    EXPECT_FALSE(second);
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));  // closed

    UniqueKernelHandle third{NewEvent()};
    HANDLE released = third.release();
    EXPECT_FALSE(third);
    EXPECT_TRUE(::GetHandleInformation(released, &flags));  // still open: the caller owns it now
    ::CloseHandle(released);
}

TEST(UniqueHandle, PutFillsAnOutParameter) {
    UniqueRegKey key;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, key.put()), ERROR_SUCCESS);
    EXPECT_TRUE(key);
}

TEST(UniqueHandle, ASelectionPutsTheEarlierObjectBack) {
    UniqueMemoryDc dc{::CreateCompatibleDC(nullptr)};
    ASSERT_TRUE(dc);
    const HGDIOBJ earlier = ::GetCurrentObject(dc.get(), OBJ_BITMAP);
    UniqueGdiObject<HBITMAP> bitmap{::CreateCompatibleBitmap(dc.get(), 4, 4)};
    ASSERT_TRUE(bitmap);
    {
        const UniqueSelection selected = SelectInto(dc.get(), bitmap.get());
        EXPECT_TRUE(selected);
        EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
    }
    EXPECT_EQ(::GetCurrentObject(dc.get(), OBJ_BITMAP), earlier);
    EXPECT_FALSE(SelectInto(nullptr, ::GetStockObject(WHITE_BRUSH))) << "nothing selected, nothing to put back";
}

}  // namespace
}  // namespace Nolvar::Core
