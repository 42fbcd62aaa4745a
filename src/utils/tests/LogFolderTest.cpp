#include "utils/LogFolder.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "QorString/Utf.h"
#include "testing/TempFolder.h"

using Nolvar::ChooseLogFolder;
using Nolvar::ioPath;

TEST(LogFolder, TheRequestedFolderIsCreatedAndUsed) {
    Testing::TempFolder temp(L"netsetter-logs-Журнал-");
    const ioPath working((temp / L"working").wstring());
    const auto requested = temp / L"new" / L"логи";
    const auto choice = ChooseLogFolder(Nolvar::Core::Utf8FromWstring(requested.wstring()), working);
    EXPECT_EQ(choice.folder, ioPath(requested.wstring()));
    EXPECT_TRUE(choice.fallbackNote.empty());
    EXPECT_TRUE(std::filesystem::is_directory(requested));
    EXPECT_TRUE(std::filesystem::is_empty(requested)) << "the write probe is gone";

    EXPECT_EQ(ChooseLogFolder(std::nullopt, working).folder, working);
    EXPECT_EQ(ChooseLogFolder(std::string(), working).folder, working);
}

TEST(LogFolder, AFolderThatCannotBeCreatedFallsBackWithAReason) {
    Testing::TempFolder temp(L"netsetter-logs-");
    Testing::WriteWholeFile(temp / L"file", "x");
    const ioPath working((temp / L"working").wstring());
    for (const auto& bad : {(temp / L"file" / L"logs").wstring(), std::wstring(L"\\\\?\\Q:\\no\\such\\drive")}) {
        const std::string requested = Nolvar::Core::Utf8FromWstring(bad);
        const auto choice = ChooseLogFolder(requested, working);
        EXPECT_EQ(choice.folder, working) << requested;
        EXPECT_EQ(choice.fallbackNote.rfind("Log folder \"" + requested + "\" cannot be used (", 0), 0u)
            << choice.fallbackNote;
    }
}
