// The folder picker and the save dialog driven like a user: found on screen, confirmed or cancelled.
#include "splash/win/FileDialog.h"

#include <gtest/gtest.h>

#include <future>

#include "utils/Localization.h"
#include "testing/TempFolder.h"
#include "testing/WindowProbe.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;

constexpr int kTitleTextId = 8;
constexpr wchar_t kDialogClass[] = L"#32770";

HWND WaitForDialog(const std::wstring& title) {
    return Testing::WaitForTopWindow(kDialogClass, title, 30s, GetCurrentProcessId());
}

// Opens a dialog on a thread of its own. This thread uses the window system first: under Wine, the common
// controls' DLL entry (window classes and cursors, under the loader lock) on one thread while another thread loads
// the display driver can deadlock, and the common dialogs load on first use (installer.exe has its window's
// thread load the driver before any dialog).
template <class Open>
auto OnADialogThread(Open open) {
    Testing::FindTopWindow(kDialogClass, L"", GetCurrentProcessId());
    return std::async(std::launch::async, std::move(open));
}

// Cancels any dialog still open when a test ends early, so the dialog's thread ends.
template <class T>
struct DialogCleanup {
    std::future<T>& running;
    ~DialogCleanup() {
        while (running.valid() && running.wait_for(100ms) != std::future_status::ready) {
            if (HWND open = Testing::FindTopWindow(kDialogClass, L"", GetCurrentProcessId()))
                Testing::PostCommand(open, IDCANCEL);
        }
    }
};

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

TEST(FileDialogTest, TheFolderPickerOpensAtTheParentOfAMissingFolderAndOkReturnsIt) {
    Testing::TempFolder temp;
    auto chosen = OnADialogThread([&] { return FileDialog::SelectFolder(kTitleTextId, temp / L"missing"); });
    DialogCleanup<std::filesystem::path> cleanup{chosen};
    HWND dialog = WaitForDialog(Tr(kTitleTextId));
    ASSERT_NE(dialog, nullptr) << "the picker did not open";
    HWND ok = Testing::FindDescendantById(dialog, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(IsWindowEnabled(ok)) << "a writable folder can be chosen";
    // Like a user: the folder's name in the name field, then OK.
    if (HWND name = Testing::FindDescendantByClass(dialog, L"Edit"))
        SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(temp.path().c_str()));
    ASSERT_TRUE(PostMessageW(ok, BM_CLICK, 0, 0));
    ASSERT_EQ(chosen.wait_for(30s), std::future_status::ready);
    const auto result = chosen.get();
    EXPECT_TRUE(SameFolder(result, temp.path())) << result.string();
}

TEST(FileDialogTest, CancellingThePickerReturnsNothing) {
    Testing::TempFolder temp;
    auto chosen = OnADialogThread([&] { return FileDialog::SelectFolder(kTitleTextId, temp.path()); });
    DialogCleanup<std::filesystem::path> cleanup{chosen};
    HWND dialog = WaitForDialog(Tr(kTitleTextId));
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Testing::PostCommand(dialog, IDCANCEL));
    ASSERT_EQ(chosen.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(chosen.get().empty());
}

TEST(FileDialogTest, AReadOnlyFolderCannotBeConfirmed) {
    Testing::TempFolder temp;
    const auto locked = temp / L"locked";
    std::filesystem::create_directory(locked);
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
    const bool writable = FileDialog::FolderWritable(locked);
    SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(FileDialog::FolderWritable(temp.path()));
    EXPECT_FALSE(FileDialog::FolderWritable(temp / L"missing"));
    if (writable) GTEST_SKIP() << "this system lets a read-only folder be written";
}

TEST(FileDialogTest, TheSaveDialogReturnsTheChosenFileOrNothing) {
    auto saved = OnADialogThread([] { return FileDialog::SaveTextFile(L"licence.txt"); });
    DialogCleanup<std::filesystem::path> cleanup{saved};
    HWND dialog = Testing::WaitForTopWindow(kDialogClass, L"", 30s, GetCurrentProcessId());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Testing::PostCommand(dialog, IDOK));
    ASSERT_EQ(saved.wait_for(30s), std::future_status::ready);
    EXPECT_EQ(saved.get().filename(), L"licence.txt");

    auto cancelled = OnADialogThread([] { return FileDialog::SaveTextFile(L"licence.txt"); });
    DialogCleanup<std::filesystem::path> cleanupCancelled{cancelled};
    dialog = Testing::WaitForTopWindow(kDialogClass, L"", 30s, GetCurrentProcessId());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(Testing::PostCommand(dialog, IDCANCEL));
    ASSERT_EQ(cancelled.wait_for(30s), std::future_status::ready);
    EXPECT_TRUE(cancelled.get().empty());
}

TEST(FileDialogTest, ASuggestedNameOf260CharactersOrMoreReturnsAtOnce) {
    EXPECT_TRUE(FileDialog::SaveTextFile(std::wstring(300, L'a')).empty());
    EXPECT_TRUE(FileDialog::SaveTextFile(std::wstring(260, L'a')).empty());
}

} // namespace
