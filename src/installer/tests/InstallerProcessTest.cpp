#include <windows.h>

#include <filesystem>
#include <future>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "QorOS/AppMutexLocker.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "utils/WorkingFolder.h"
#include "testing/ChildProcess.h"
#include "testing/ModuleResource.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"

namespace {

std::filesystem::path InstallerExe() {
    return std::filesystem::path(Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR"))) /
           L"installer.exe";
}

// The web user id every run here finds stored and in its file name, so none asks the web-user-id service.
constexpr char kWebUid[] = "processtest0001";

void StoreWebUid() {
    Nolvar::Core::UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"SOFTWARE\\nolvaria\\User", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring value = Nolvar::Core::WstringFromUtf8(kWebUid);
    RegSetValueExW(key.get(), L"WEBUID", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

// A configuration whose downloads stay on the test server.
std::string LocalConfigUrl() {
    const Testing::TestServer server;
    const auto value = [](const std::string& text) {
        return nlohmann::json{{"Values", nlohmann::json::array()}, {"DefaultValue", text}};
    };
    const std::string absent = server.httpUrl("/files/absent-process-test");
    const nlohmann::json config = {
        {"configname", "process-test"},
        {"data",
         {{"Product", {{"version", value("2.0.0")}}},
          {"Installers", nlohmann::json::array({{{"id", value("product")},
                                                 {"url", value(absent + ".exe")},
                                                 {"install_order", value("0")},
                                                 {"install_args", value("/S")},
                                                 {"search_installed_win_exe_name", value("product.exe")},
                                                 {"search_installed_win_uninstall_registry_key_name", value("Product")}}})},
          {"Splash",
           {{"start", value(absent + ".png")}, {"progress", value(absent + ".png")}, {"wait", value(absent + ".png")},
            {"ready", value(absent + ".png")}}},
          {"Statistics",
           {{"url", value("http://127.0.0.1:9/statistics")},
            {"id", value("process-test")},
            {"targetApplicationId", value("netsetter-process-test")}}}}}};
    const std::string name = std::to_string(GetCurrentProcessId()) + "-process-config.json";
    server.putFile(name, config.dump());
    return server.httpUrl("/files/" + name);
}

// Runs installer.exe as the second installer of its bundle: this test holds the single-instance mutex, so the run
// downloads and parses the configuration and then closes itself. Waits for other tests holding the mutex first.
// The installer's exit code, or -1 when it did not end within a minute.
int RunInstaller(const std::vector<std::wstring>& arguments) {
    StoreWebUid();
    std::vector<std::wstring> all = {L"--config-url=" + Nolvar::Core::WstringFromUtf8(LocalConfigUrl()),
                                     L"--distrib-name=C:\\Downloads\\SetupC_W" +
                                         Nolvar::Core::WstringFromUtf8(kWebUid) + L"_.exe"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::promise<bool> held;
    std::promise<void> done;
    std::thread holder([&] {
        Nolvar::Util::AppMutexLocker mutex("nolvarianetsetter");
        held.set_value(mutex.acquire(180000));
        done.get_future().wait();
    });
    int code = -1;
    if (held.get_future().get()) code = Testing::ChildProcess(InstallerExe().wstring(), all).wait(std::chrono::seconds(60));
    done.set_value();
    holder.join();
    return code;
}

// Sets TMP and TEMP of this process, and so of the installers it starts, while it exists.
class TempVariables {
public:
    explicit TempVariables(const std::filesystem::path& temp) {
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH] = {};
            const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH);
            m_previous.push_back(n && n < MAX_PATH ? std::optional<std::wstring>(value) : std::nullopt);
            SetEnvironmentVariableW(name, temp.c_str());
        }
    }
    ~TempVariables() {
        SetEnvironmentVariableW(L"TMP", m_previous[0] ? m_previous[0]->c_str() : nullptr);
        SetEnvironmentVariableW(L"TEMP", m_previous[1] ? m_previous[1]->c_str() : nullptr);
    }
    TempVariables(const TempVariables&) = delete;
    TempVariables& operator=(const TempVariables&) = delete;

private:
    std::vector<std::optional<std::wstring>> m_previous;
};

std::vector<std::filesystem::path> WorkingFoldersIn(const std::filesystem::path& temp) {
    std::vector<std::filesystem::path> folders;
    for (const auto& entry : std::filesystem::directory_iterator(temp))
        if (entry.is_directory() && entry.path().filename().wstring().rfind(L"Netsetter-", 0) == 0)
            folders.push_back(entry.path());
    return folders;
}

} // namespace

TEST(InstallerProcess, StartsAndWritesOneLogWithTheLibrariesLines) {
    Testing::TempFolder logs(L"netsetter-log-Пользователь-");
    EXPECT_EQ(RunInstaller({L"--log-path=" + logs.path().wstring()}), 0);
    const std::string log = Testing::ReadInfoLogs(logs.path());
    EXPECT_NE(log.find("Fetchwell module version 2.0.0"), std::string::npos) << log;
    EXPECT_NE(log.find("Tallivo module version 2.0.0"), std::string::npos) << log;
    // Without a display the window fails and ends the run: it may fail before the logic starts, which then ends at
    // once, or while the loop runs, maybe before the configuration is read.
    EXPECT_NE(log.find("Exit button pressed"), std::string::npos) << log;
    // The run's own lines, in the order of its life: start-up, the end of the loop and the logic's destruction.
    const std::vector<std::string> lines = {
        "Installer started",
        "Version: 2.0.0",
        "Build commit: ",
        "DistribName: C:\\Downloads\\SetupC_W" + std::string(kWebUid) + "_.exe",
        "Default locale: ",
        ", available locales: [",
        "Product display name = ",
        "WebUid used: " + std::string(kWebUid),
        "Preferred browser: chrome.exe",
        "Config URL used: http://127.0.0.1:",
        "Main loop entered",
        "StateChanged Event Triggered! Data: 3",
        "Main loop exited",
        "InstallerLogic::Impl destruction started",
        "InstallerLogic::Impl destructed",
    };
    std::size_t at = 0;
    for (const std::string& line : lines) {
        const std::size_t found = log.find(line, at);
        ASSERT_NE(found, std::string::npos) << "\"" << line << "\" not found after offset " << at << " in\n" << log;
        at = found + line.size();
    }
    // A configuration read before the end closes this second installer of the bundle.
    if (const auto parsed = log.find("Config parsed"); parsed != std::string::npos) {
        EXPECT_NE(log.find("Bundle netsetter already installing", parsed), std::string::npos) << log;
    }
    // The loop ends before it handles the ready state posted after the self-closing.
    EXPECT_EQ(log.find("StateChanged Event Triggered! Data: 1"), std::string::npos) << log;
}

TEST(InstallerProcess, ResourcesAreFoundByName) {
    const std::string config = Testing::ReadModuleResource(InstallerExe(), L"IDR_DEFAULT_CFG");
    ASSERT_FALSE(config.empty());
    EXPECT_TRUE(nlohmann::json::parse(config).contains("data"));
    EXPECT_NE(Testing::ReadModuleResource(InstallerExe(), L"EN-US").find("LICENCE"), std::string::npos);
    const std::string russian = Testing::ReadModuleResource(InstallerExe(), L"RU-RU");
    EXPECT_NE(russian.find("ЛИЦЕНЗИОННОЕ"), std::string::npos);
    EXPECT_EQ(russian.find('\r'), std::string::npos);
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

TEST(InstallerProcess, DebugKeepsTheWorkingFolderWithTheLog) {
    Testing::TempFolder temp(L"netsetter-temp-");
    {
        TempVariables variables(temp.path());
        EXPECT_EQ(RunInstaller({L"--debug"}), 0);
    }
    const auto folders = WorkingFoldersIn(temp.path());
    ASSERT_EQ(folders.size(), 1u);
    const std::string log = Testing::ReadInfoLogs(folders[0]);
    EXPECT_NE(log.find("Installer started"), std::string::npos) << log;
}

TEST(InstallerProcess, WithoutDebugEveryWorkingFolderIsRemovedAtExit) {
    Testing::TempFolder temp(L"netsetter-temp-");
    std::filesystem::create_directories(temp / L"Netsetter-12345" / L"sub");
    Testing::WriteWholeFile(temp / L"Netsetter-12345" / L"sub" / L"left.exe", "MZ");
    std::filesystem::create_directories(temp / L"Other-1");
    // The working folder of an installer still running (its lock file is open) survives.
    std::unique_ptr<Nolvar::Detail::WorkingFolderLock> running;
    const Nolvar::ioPath runningFolder =
        Nolvar::Detail::CreateWorkingFolderIn(Nolvar::ioPath(temp.path().wstring()), running);
    {
        TempVariables variables(temp.path());
        EXPECT_EQ(RunInstaller({}), 0);
    }
    const auto left = WorkingFoldersIn(temp.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].wstring(), runningFolder.wstring());
    EXPECT_TRUE(std::filesystem::exists(temp / L"Other-1"));
}

namespace {

// A tagged copy of the signed installer, named `fileName` inside `folder`.
std::filesystem::path TaggedCopy(const std::filesystem::path& folder, const std::wstring& fileName, const std::string& tag) {
    const std::filesystem::path bin = Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR"));
    const std::filesystem::path copy = folder / fileName;
    std::filesystem::copy_file(bin.parent_path() / L"signed" / L"installer.exe", copy);
    const std::filesystem::path tagFile = folder / L"tag.json";
    Testing::WriteWholeFile(tagFile, tag);
    const int tagged = Testing::ChildProcess((bin / L"netsetter-tag.exe").wstring(),
                                             {L"set-file", copy.wstring(), tagFile.wstring()})
                           .wait(std::chrono::seconds(60));
    EXPECT_EQ(tagged, 0) << tag;
    return copy;
}

} // namespace

TEST(InstallerProcess, TheTagOfTheDistributionFileWinsOverTheCommandLine) {
    Testing::TempFolder folder(L"netsetter-tagged-");
    const std::string configUrl = LocalConfigUrl();
    const auto copy = TaggedCopy(folder.path(), L"SetupE_tagged.exe",
                                 R"({"browser":"C","config_url":")" + configUrl + R"("})");
    EXPECT_EQ(RunInstaller({L"--log-path=" + folder.path().wstring(),
                            L"--config-url=http://127.0.0.1:9/from-command-line.json",
                            L"--distrib-name=" + copy.wstring()}),
              0);
    const std::string log = Testing::ReadInfoLogs(folder.path());
    EXPECT_NE(log.find("Config URL used: " + configUrl), std::string::npos) << log;
    EXPECT_NE(log.find("Preferred browser: chrome.exe"), std::string::npos) << log;
    EXPECT_EQ(log.find("Failed to parse Signature Tag"), std::string::npos) << log;
}

// A tag that cannot be parsed, and a tagged file another program holds open so that it cannot be read: each is
// logged and the command line's values stay in force.
TEST(InstallerProcess, AMalformedOrUnreadableTagIsLoggedAndChangesNothing) {
    for (const bool locked : {false, true}) {
        Testing::TempFolder folder(L"netsetter-tagged-");
        const std::string configUrl = LocalConfigUrl();
        const auto copy = TaggedCopy(folder.path(), L"SetupE_bad.exe",
                                     locked ? R"({"browser":"C","config_url":"http://127.0.0.1:9/tag.json"})"
                                            : R"({"browser":"C","config_url":5})");
        Nolvar::Core::UniqueKernelHandle held;
        if (locked) {
            held.reset(CreateFileW(copy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(held);
        }
        EXPECT_EQ(RunInstaller({L"--log-path=" + folder.path().wstring(),
                                L"--config-url=" + Nolvar::Core::WstringFromUtf8(configUrl),
                                L"--distrib-name=" + copy.wstring()}),
                  0);
        held.reset();
        const std::string log = Testing::ReadInfoLogs(folder.path());
        EXPECT_NE(log.find(locked ? "Failed to parse Signature Tag. Cannot open the distribution file (error 32)"
                                  : "Failed to parse Signature Tag. \"config_url\" is not a string"),
                  std::string::npos)
            << log;
        EXPECT_NE(log.find("Config URL used: " + configUrl), std::string::npos) << log;
        EXPECT_NE(log.find("Preferred browser: msedge.exe"), std::string::npos) << log;
    }
}
