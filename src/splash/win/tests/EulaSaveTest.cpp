#include <gtest/gtest.h>

#include "splash/win/EulaSave.h"
#include "testing/LogCapture.h"
#include "testing/TempFolder.h"

using namespace Nolvar;

namespace {

std::string LinesMentioning(const Testing::LogCapture& log, const std::string& word) {
    std::string text;
    for (const auto& line : log.all())
        if (line.text.find(word) != std::string::npos) text += line.text + "\n";
    return text;
}

} // namespace

TEST(EulaSave, EveryLineEndBecomesOneCrLf) {
    EXPECT_EQ(WithWindowsLineEnds("a\nb\r\nc\rd\r\n\r\ne"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(WithWindowsLineEnds("\n"), "\r\n");
    EXPECT_EQ(WithWindowsLineEnds("no line end"), "no line end");
}

TEST(EulaSave, SavingOverALongerFileLeavesOnlyTheLicence) {
    Testing::TempFolder folder;
    const auto file = folder / L"Лицензия.txt";
    Testing::WriteWholeFile(file, std::string(10000, 'x'));
    std::wstring suggested;
    Testing::LogCapture log;
    SaveEula(
        [&](const std::wstring& name) {
            suggested = name;
            return ioPath(file.wstring());
        },
        [] { return std::string("Terms\nof use\r\n"); });
    EXPECT_EQ(suggested, L"Nolvaria License Agreement");
    EXPECT_EQ(Testing::ReadWholeFile(file), "Terms\r\nof use\r\n");
    EXPECT_NE(LinesMentioning(log, "Saving EULA to file \"").find("txt\""), std::string::npos);
}

TEST(EulaSave, CancelledDialogWritesAndLogsNothing) {
    Testing::LogCapture log;
    bool read = false;
    SaveEula([](const std::wstring&) { return ioPath(); }, [&] {
        read = true;
        return std::string("text");
    });
    EXPECT_FALSE(read);
    EXPECT_EQ(LinesMentioning(log, "EULA"), "");
}

TEST(EulaSave, EmptyLicenceCreatesNoFile) {
    Testing::TempFolder folder;
    const auto file = folder / L"licence.txt";
    Testing::LogCapture log;
    SaveEula([&](const std::wstring&) { return ioPath(file.wstring()); }, [] { return std::string(); });
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_NE(LinesMentioning(log, "Failed EULA save to file").find(": empty content read"), std::string::npos);
}

TEST(EulaSave, UnwritablePathIsLoggedAndKeptFromTheCaller) {
    Testing::TempFolder folder;
    const auto file = folder / L"missing folder" / L"licence.txt";
    Testing::LogCapture log;
    SaveEula([&](const std::wstring&) { return ioPath(file.wstring()); }, [] { return std::string("text"); });
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_NE(LinesMentioning(log, "Failed to save EULA to file").find(": cannot open file for writing"),
              std::string::npos);
}
