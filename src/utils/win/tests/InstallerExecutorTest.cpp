#include "utils/win/InstallerExecutor.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "QorOS/Process.h"
#include "QorString/Utf.h"
#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"
#include "utils/Settings.h"
#include "utils/AppSearcher.h"
#include "testing/LogCapture.h"

namespace {

using namespace std::chrono_literals;
using Nolvar::ioPath;

// The stand-in installer is built next to this test program.
std::filesystem::path FakeInstallerBuilt() { return Testing::BesideSelf(L"FakeInstaller.exe"); }

class RecordingObserver : public Nolvar::IInstallerExecutorObserver {
public:
    void OnInstallerStarted(const std::string& name) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back("started " + name);
    }
    void OnInstallerFinished(const std::string& name, std::int32_t exitState) override {
        std::lock_guard lock(m_mutex);
        m_events.push_back("finished " + name + " " + std::to_string(exitState));
        m_finishedOn = std::this_thread::get_id();
        m_changed.notify_all();
    }
    // The events once a finished report arrived (or what came within the time).
    std::vector<std::string> WaitFinished(std::chrono::milliseconds limit = 30s) {
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return m_finishedOn.has_value(); });
        return m_events;
    }
    std::optional<std::thread::id> finishedOn() {
        std::lock_guard lock(m_mutex);
        return m_finishedOn;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
    std::optional<std::thread::id> m_finishedOn;
};

// A copy of the stand-in installer in a folder whose name has spaces and Cyrillic letters.
class InstallerExecutor : public ::testing::Test {
protected:
    void SetUp() override {
        m_installer = m_temp / L"Установщик продукта.exe";
        std::filesystem::copy_file(FakeInstallerBuilt(), m_installer);
    }

    std::unique_ptr<Nolvar::IInstallerExecutor> Make(std::vector<std::string> arguments,
                                                     std::chrono::milliseconds limit = Nolvar::INSTALLER_WAIT_LIMIT) {
        return Nolvar::MakeInstallerExecutor(m_observer, "product", ioPath(m_installer.wstring()), std::move(arguments),
                                             limit);
    }
    std::string RecordedCommandLine() const {
        return Testing::ReadWholeFile(m_installer.wstring() + L".cmdline");
    }
    bool EndedByItself() const { return std::filesystem::exists(m_installer.wstring() + L".done"); }

    Testing::TempFolder m_temp{L"netsetter-launch-Папка с пробелами-"};
    std::filesystem::path m_installer;
    RecordingObserver m_observer;
};

TEST_F(InstallerExecutor, PassesTheArgumentsInOrderWithWindowsQuoting) {
    const std::string folder = "/D=C:\\Program Files\\Мой продукт";
    auto executor = Make({"/S", "/DISABLE_SHORTCUTS", folder, "/LOCALE=ru_RU", "/WEBUID=w1", "/NO_MERGE_WEBUIDS",
                          "/PREFERRED_BROWSER=say \"hi\""});
    EXPECT_EQ(executor->GetExitState(), -1);
    executor->Start();
    EXPECT_EQ(m_observer.WaitFinished(), (std::vector<std::string>{"started product", "finished product 0"}));
    EXPECT_EQ(executor->GetExitState(), 0);
    EXPECT_NE(m_observer.finishedOn(), std::this_thread::get_id());

    const std::string path = Nolvar::Core::Utf8FromWstring(m_installer.wstring());
    EXPECT_EQ(RecordedCommandLine(), "\"" + path + "\" /S /DISABLE_SHORTCUTS \"" + folder +
                                         "\" /LOCALE=ru_RU /WEBUID=w1 /NO_MERGE_WEBUIDS "
                                         "\"/PREFERRED_BROWSER=say \"\"hi\"\"\"");
}

TEST_F(InstallerExecutor, MapsExitCodesToExitStates) {
    Testing::LogCapture log;
    const std::pair<int, int> cases[] = {{9, 9}, {4, 4}, {-1, -1}, {10, 1}, {-2, 1}, {259, 1}, {1603, 1}};
    for (const auto& [code, state] : cases) {
        RecordingObserver observer;
        auto executor = Nolvar::MakeInstallerExecutor(observer, "p" + std::to_string(code), ioPath(m_installer.wstring()),
                                                      {"/FAKE_EXIT=" + std::to_string(code)});
        executor->Start();
        const auto events = observer.WaitFinished();
        ASSERT_EQ(events.size(), 2u) << code;
        EXPECT_EQ(events[1], "finished p" + std::to_string(code) + " " + std::to_string(state));
        EXPECT_EQ(executor->GetExitState(), state);
    }
    EXPECT_TRUE(log.contains("p10: process finished with exit code = 10, exit state = 1")) << log.text();
    EXPECT_TRUE(log.contains("p-2: process finished with exit code = -2, exit state = 1")) << log.text();
}

TEST_F(InstallerExecutor, KillsAnInstallerThatOutlivesTheLimit) {
    Testing::LogCapture log;
    auto executor = Make({"/FAKE_SLEEP=4000", "/FAKE_EXIT=0"}, 500ms);
    const auto begin = std::chrono::steady_clock::now();
    executor->Start();
    EXPECT_EQ(m_observer.WaitFinished().back(), "finished product -1");
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3500ms);
    EXPECT_EQ(executor->GetExitState(), -1);
    EXPECT_TRUE(log.contains("product: process interrupted by timeout")) << log.text();
    EXPECT_FALSE(log.contains("process finished with exit code")) << log.text();
    std::this_thread::sleep_for(4500ms);
    EXPECT_FALSE(EndedByItself());
}

TEST_F(InstallerExecutor, ReportsAFailedStart) {
    Testing::LogCapture log;
    auto executor = Nolvar::MakeInstallerExecutor(m_observer, "missing", ioPath((m_temp / L"нет такого.exe").wstring()),
                                                  {"/S"});
    executor->Start();
    EXPECT_EQ(m_observer.WaitFinished(), (std::vector<std::string>{"started missing", "finished missing -1"}));
    EXPECT_EQ(executor->GetExitState(), -1);
    EXPECT_TRUE(log.contains("Creating process failed, system error ")) << log.text();
    EXPECT_TRUE(log.contains("Failed to start installer")) << log.text();
    EXPECT_TRUE(log.contains("Exception reported: ")) << log.text();
}

TEST_F(InstallerExecutor, DestroyingTheLauncherKillsTheRunningInstaller) {
    auto executor = Make({"/FAKE_SLEEP=4000"});
    executor->Start();
    std::this_thread::sleep_for(500ms);
    const auto begin = std::chrono::steady_clock::now();
    executor.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 3000ms);
    // The report came before the destructor returned.
    EXPECT_EQ(m_observer.WaitFinished(0ms).back(), "finished product -1");
    std::this_thread::sleep_for(4500ms);
    EXPECT_FALSE(EndedByItself());
}

TEST_F(InstallerExecutor, AnInstalledProductIsFoundByTheSearchAndRuns) {
    const auto installFolder = m_temp / L"Установлено сюда";
    const std::string prefix = "NetsetterLaunch" + std::to_string(GetCurrentProcessId());
    const std::string product = "app-" + std::to_string(GetCurrentProcessId()) + ".exe";
    auto executor = Make({"/S", "/D=" + Nolvar::Core::Utf8FromWstring(installFolder.wstring()),
                          "/FAKE_UNINSTALL=HKLM:32:" + prefix + "2", "/FAKE_PRODUCT=" + product,
                          "/FAKE_START_PRODUCT", "/FAKE_PRODUCT_LIFETIME=1500"});
    executor->Start();
    EXPECT_EQ(m_observer.WaitFinished().back(), "finished product 0");
    EXPECT_TRUE(Nolvar::Core::IsProcessRunning(product, Nolvar::Core::Utf8FromWstring(installFolder.wstring())));
    for (int i = 0; i < 100 && Nolvar::Core::IsProcessRunning(product, ""); ++i) std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(Nolvar::Core::IsProcessRunning(product, ""));

    const auto found = Nolvar::FindInstalledApplication(
        {{Nolvar::kSearchUninstallKeyPrefix, prefix}, {Nolvar::kSearchExeName, product}});
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE,
                    (L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Nolvar::Core::WstringFromUtf8(prefix) + L"2").c_str(),
                    KEY_WOW64_32KEY, 0);
    EXPECT_EQ(found.executablePath, ioPath((installFolder / Nolvar::Core::WstringFromUtf8(product)).wstring()));
    EXPECT_EQ(found.uninstallerPath, ioPath((installFolder / L"uninstall.exe\" /S").wstring()));
}

} // namespace
