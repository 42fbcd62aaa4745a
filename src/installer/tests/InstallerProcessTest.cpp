#include <windows.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorString/Utf.h"
#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"

namespace {

std::filesystem::path InstallerExe() {
    return std::filesystem::path(Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR"))) /
           L"installer.exe";
}

// The installer's exit code, or -1 when it did not end within a minute.
int RunInstaller(const std::vector<std::wstring>& arguments) {
    return Testing::ChildProcess(InstallerExe().wstring(), arguments).wait(std::chrono::seconds(60));
}

std::string NamedResource(HMODULE module, const wchar_t* name) {
    HRSRC resource = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
}

} // namespace

TEST(InstallerProcess, StartsAndWritesOneLogWithTheLibrariesLines) {
    Testing::TempFolder logs(L"netsetter-log-Пользователь-");
    EXPECT_EQ(RunInstaller({L"--log-path=" + logs.path().wstring()}), 0);
    const std::string log = Testing::ReadInfoLogs(logs.path());
    EXPECT_NE(log.find("Installer started"), std::string::npos) << log;
    EXPECT_NE(log.find("Fetchwell module version 2.0.0"), std::string::npos) << log;
    EXPECT_NE(log.find("Tallivo module version 2.0.0"), std::string::npos) << log;
}

TEST(InstallerProcess, ResourcesAreFoundByName) {
    const Nolvar::Core::UniqueModule module(LoadLibraryExW(InstallerExe().c_str(), nullptr,
                                                           LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    const std::string config = NamedResource(module.get(), L"IDR_DEFAULT_CFG");
    ASSERT_FALSE(config.empty());
    EXPECT_TRUE(nlohmann::json::parse(config).contains("data"));
    EXPECT_NE(NamedResource(module.get(), L"EN-US").find("LICENCE"), std::string::npos);
    EXPECT_NE(NamedResource(module.get(), L"RU-RU").find("ЛИЦЕНЗИОННОЕ"), std::string::npos);
    EXPECT_EQ(NamedResource(module.get(), L"RU-RU").find('\r'), std::string::npos);
}

TEST(InstallerProcess, OptionsInTheWrongFormAreWarnedAboutAndDoNotEndTheRun) {
    Testing::TempFolder logs(L"netsetter-log-");
    EXPECT_EQ(RunInstaller({L"--log-path=" + logs.path().wstring(), L"--distrib-name", L"--debug=1", L"--module-name"}),
              0);
    const std::string log = Testing::ReadInfoLogs(logs.path());
    EXPECT_NE(log.find("Installer started"), std::string::npos) << log;
    EXPECT_NE(log.find("--distrib-name needs a value"), std::string::npos) << log;
    EXPECT_NE(log.find("--module-name needs a value"), std::string::npos) << log;
    EXPECT_NE(log.find("--debug takes no value; read as true"), std::string::npos) << log;
}

// A log folder that cannot be created loses nothing: the log goes to the working folder and says so first.
TEST(InstallerProcess, AnUnusableLogFolderFallsBackToTheWorkingFolder) {
    Testing::TempFolder temp(L"netsetter-temp-Пользователь-");
    Testing::WriteWholeFile(temp / L"not-a-folder", "x");
    const std::wstring unusable = (temp / L"not-a-folder" / L"logs").wstring();
    wchar_t previousTmp[MAX_PATH] = {};
    const DWORD hadTmp = GetEnvironmentVariableW(L"TMP", previousTmp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", temp.path().c_str());
    const int code = RunInstaller({L"--log-path=" + unusable, L"--debug"});
    SetEnvironmentVariableW(L"TMP", hadTmp ? previousTmp : nullptr);
    EXPECT_EQ(code, 0);

    std::string log;
    for (const auto& entry : std::filesystem::directory_iterator(temp.path()))
        if (entry.path().filename().wstring().rfind(L"Netsetter-", 0) == 0) log += Testing::ReadInfoLogs(entry.path());
    const auto note = log.find("Log folder \"" + Nolvar::Core::Utf8FromWstring(unusable) + "\" cannot be used");
    ASSERT_NE(note, std::string::npos) << log;
    EXPECT_NE(log.find("logging to \"", note), std::string::npos);
    // The first log line (after glog's file header) is the note.
    const std::regex logLine("^[IWEF][0-9]{8} [^\n]*", std::regex::multiline);
    std::smatch first;
    ASSERT_TRUE(std::regex_search(log, first, logLine)) << log;
    EXPECT_NE(first.str().find("cannot be used"), std::string::npos) << first.str();
    EXPECT_NE(log.find("Installer started", note), std::string::npos) << log;
}
