#include "logic/logic/DownloadFileName.h"

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QorPointer/UniqueHandle.h"
#include "testing/TempFolder.h"
#include "utils/WorkingFolder.h"

namespace {

using Nolvar::ioPath;
using Nolvar::SafeDownloadFileName;

// Writes `content` to `path` + ".tmp" and moves it to `path`, as the download library does.
bool WriteAsDownload(const ioPath& path, const std::string& content) {
    const std::wstring temp = path.wstring() + L".tmp";
    Nolvar::Core::UniqueKernelHandle file(
        CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    const bool wrote = WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written, nullptr) != 0;
    file.reset();
    return wrote && MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

// True when `folder` lists a regular file named like `path` holding `size` bytes.
bool ListedWithSize(const std::filesystem::path& folder, const ioPath& path, std::uintmax_t size) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().wstring() != path.filename().wstring()) continue;
        std::error_code error;
        return entry.is_regular_file(error) && entry.file_size(error) == size;
    }
    return false;
}

} // namespace

TEST(DownloadFileName, NamesAreSafeAndKeepWhatTheyCan) {
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"Установка.exe")), ioPath(L"Установка.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"..\\..\\evil.exe")), ioPath(L".._.._evil.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"..")), ioPath(L"download"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"CON.exe")), ioPath(L"_CON.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"nul .exe")), ioPath(L"_nul .exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"con. .exe")), ioPath(L"_con. .exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"CONIN$")), ioPath(L"_CONIN$"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"conout$.txt")), ioPath(L"_conout$.txt"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"COM\u00B9.exe")), ioPath(L"_COM\u00B9.exe"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"lpt\u00B3")), ioPath(L"_lpt\u00B3"));
    EXPECT_EQ(SafeDownloadFileName(ioPath(L"console.exe")), ioPath(L"console.exe"));
    // A long name is cut before its extension.
    const ioPath cut = SafeDownloadFileName(ioPath(std::wstring(250, L'a') + L".exe"), ioPath(L"C:\\t"));
    EXPECT_EQ(cut.extension(), ioPath(L".exe"));
    EXPECT_LT(cut.wstring().size(), 245u);
}

// Every name the cleaner produces can be created, as a download and as a numbered twin, in a working folder.
TEST(DownloadFileName, EveryNameCanBeCreatedInTheWorkingFolder) {
    const ioPath folder = Nolvar::GetWorkingFolder() / L"names";
    std::filesystem::create_directories(folder.wstring());
    std::vector<std::wstring> hostile = {
        L"nul .exe", L"con .exe", L"aux. .png", L"CONIN$", L"CONOUT$.exe", L"COM\u00B9.exe", L"LPT\u00B2.exe",
        L"prn", std::wstring(250, L'x') + L".exe", std::wstring(250, L'\u044F') + L".exe",
        std::wstring(240, L'\u044F') + L"." + std::wstring(40, L'e'), std::wstring(300, L'.'), L"  ",
    };
    std::wstring emoji;
    for (int i = 0; i < 130; ++i) emoji += L"\xD83D\xDE00";
    hostile.push_back(emoji + L".exe");
    Nolvar::UniqueFileNames names;
    std::string content = "MZ";
    for (const std::wstring& raw : hostile) {
        const ioPath name = SafeDownloadFileName(ioPath(raw), folder);
        for (int twin = 0; twin < 2; ++twin) {
            const ioPath path = names.Take(folder / name);
            content += "x";
            ASSERT_TRUE(WriteAsDownload(path, content)) << path.string() << " error " << GetLastError();
            EXPECT_TRUE(ListedWithSize(folder.wstring(), path, content.size())) << path.string();
        }
    }
}

TEST(DownloadFileName, UniqueNamesIgnoreCaseAndStayFastForManyTwins) {
    Nolvar::UniqueFileNames names;
    const ioPath folder(L"C:\\work");
    names.MarkTaken(folder / L"Setup-2.exe");
    EXPECT_EQ(names.Take(folder / L"setup.exe"), folder / L"setup.exe");
    EXPECT_EQ(names.Take(folder / L"SETUP.exe"), folder / L"SETUP-3.exe");
    EXPECT_EQ(names.Take(folder / L"setup.exe"), folder / L"setup-4.exe");

    const auto started = std::chrono::steady_clock::now();
    std::set<std::wstring> seen;
    for (int i = 0; i < 20000; ++i) seen.insert(names.Take(folder / L"same.exe").wstring());
    EXPECT_EQ(seen.size(), 20000u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}
