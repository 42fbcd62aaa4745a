#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorString/Utf.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"

namespace {

std::filesystem::path InstallerExe() {
    return std::filesystem::path(Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR"))) /
           L"installer.exe";
}

DWORD RunAndWait(std::wstring commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return static_cast<DWORD>(-1);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

struct ModuleCloser {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

std::string NamedResource(HMODULE module, const wchar_t* name) {
    HRSRC resource = FindResourceW(module, name, MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    if (!resource) return {};
    HGLOBAL loaded = LoadResource(module, resource);
    return std::string(static_cast<const char*>(LockResource(loaded)), SizeofResource(module, resource));
}

} // namespace

TEST(InstallerProcess, StartsAndWritesOneLogWithTheLibrariesLines) {
    Testing::TempFolder logs(L"netsetter-log-Пользователь-");
    const std::wstring command = L"\"" + InstallerExe().wstring() + L"\" \"--log-path=" + logs.path().wstring() + L"\"";
    EXPECT_EQ(RunAndWait(command), 0u);
    const std::string log = Testing::ReadInfoLogs(logs.path());
    EXPECT_NE(log.find("Installer started"), std::string::npos) << log;
    EXPECT_NE(log.find("Fetchwell module version 2.0.0"), std::string::npos) << log;
    EXPECT_NE(log.find("Tallivo module version 2.0.0"), std::string::npos) << log;
}

TEST(InstallerProcess, ResourcesAreFoundByName) {
    std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleCloser> module(LoadLibraryExW(
        InstallerExe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
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
    const std::wstring command = L"\"" + InstallerExe().wstring() + L"\" \"--log-path=" + logs.path().wstring() +
                                 L"\" --distrib-name --debug=1 --module-name";
    EXPECT_EQ(RunAndWait(command), 0u);
    const std::string log = Testing::ReadInfoLogs(logs.path());
    EXPECT_NE(log.find("Installer started"), std::string::npos) << log;
    EXPECT_NE(log.find("--distrib-name needs a value"), std::string::npos) << log;
    EXPECT_NE(log.find("--module-name needs a value"), std::string::npos) << log;
    EXPECT_NE(log.find("--debug takes no value; read as true"), std::string::npos) << log;
}
