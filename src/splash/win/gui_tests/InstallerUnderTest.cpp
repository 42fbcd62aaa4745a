#include "splash/win/gui_tests/InstallerUnderTest.h"

#include <shlobj.h>

#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "QorOS/AppMutexLocker.h"
#include "QorPointer/UniqueHandle.h"
#include "QorString/Utf.h"
#include "splash/win/gui_tests/TestImages.h"
#include "testing/ModuleResource.h"

namespace SplashTest {

namespace {

std::filesystem::path BinFolder() {
    return std::filesystem::path(Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR")));
}

std::filesystem::path RoamingFolder() {
    Nolvar::Core::UniqueCoTaskPtr<PWSTR> folder;
    std::filesystem::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_RoamingAppData, KF_FLAG_CREATE, nullptr, folder.put())))
        result = folder.get();
    return result;
}

std::string TestName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "-" + info->name() : "test";
}

} // namespace

InstallerUnderTest::InstallerUnderTest()
    : m_prefix("gui-" + std::to_string(GetCurrentProcessId()) + "-" + TestName()),
      m_entry(m_prefix + "-entry"),
      m_productExe(m_prefix + "-product.exe") {}

InstallerUnderTest::~InstallerUnderTest() {
    if (m_process) m_process->terminate();
    const std::wstring key =
        L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + Nolvar::Core::WstringFromUtf8(m_entry);
    RegDeleteKeyExW(HKEY_CURRENT_USER, key.c_str(), KEY_WOW64_64KEY, 0);
    std::error_code ignored;
    std::filesystem::remove(RoamingFolder() / Nolvar::Core::WstringFromUtf8(m_productExe), ignored);
}

nlohmann::json InstallerUnderTest::Value(const std::string& text) const {
    return {{"Values", nlohmann::json::array()}, {"DefaultValue", text}};
}

void InstallerUnderTest::Serve(const FakeProduct& product, const Images& images, const std::string& configQuery) {
    const std::string fake = Testing::ReadWholeFile(BinFolder() / L"FakeInstaller.exe");
    ASSERT_FALSE(fake.empty());
    m_server.putFile(m_prefix + "-setup.exe", fake);
    m_server.putFile(m_prefix + "-start.png", SolidPng(1340, 712, kStartColour));
    m_server.putFile(m_prefix + "-progress.png", SolidPng(1340, 712, kProgressColour));
    m_server.putFile(m_prefix + "-wait.png", SolidPng(1340, 712, kWaitColour));

    std::string args = "/S " + product.fakeArgs + " /FAKE_PRODUCT=" + m_productExe;
    if (product.registers) args += " /FAKE_UNINSTALL=HKCU:64:" + m_entry;
    const std::string start = images.start ? m_server.httpUrl("/files/" + m_prefix + "-start.png" + images.startQuery)
                                           : m_server.httpUrl("/files/" + m_prefix + "-missing.png");
    const std::string statistics = StatisticsKey();
    m_server.script(statistics, R"([{"status":200,"body":{"success":true,"disabled":false}}])");
    const nlohmann::json installers = nlohmann::json::array(
        {{{"id", Value("product")},
          {"url", Value(m_server.httpUrl("/files/" + m_prefix + "-setup.exe" + product.serverQuery))},
          {"display_name", Value("Gui Product")},
          {"install_order", Value("0")},
          {"install_args", Value(args)},
          {"check_app_running", Value(product.checkRunning ? "true" : "false")},
          {"search_installed_win_exe_name", Value(m_productExe)},
          {"search_installed_win_uninstall_registry_key_name", Value(m_entry)}}});
    const nlohmann::json config = {
        {"configname", "gui-test"},
        {"data",
         {{"Product", {{"version", Value("3.0.0")}}},
          {"Installers", installers},
          {"Splash",
           {{"start", Value(start)},
            {"progress", Value(m_server.httpUrl("/files/" + m_prefix + "-progress.png"))},
            {"wait", Value(m_server.httpUrl("/files/" + m_prefix + "-wait.png"))},
            {"ready", Value(m_server.httpUrl("/files/" + m_prefix + "-wait.png"))}}},
          {"Statistics",
           {{"url", Value(m_server.httpUrl("/script/" + statistics))},
            {"id", Value("5e8d0c3a9f21467b8c4de0a1f7b3962c")},
            {"targetApplicationId", Value(m_statisticsProduct)}}}}}};
    m_server.putFile(m_prefix + "-config.json", config.dump());
    m_configUrl = m_server.httpUrl("/files/" + m_prefix + "-config.json" + configQuery);
}

void InstallerUnderTest::ServeNothing() {
    // The reserved top-level domain "invalid" never resolves; the built-in configuration's hosts are "*.example".
    m_configUrl = "http://config.netsetter.invalid/config.json";
}

void InstallerUnderTest::ServeConfigurationFrom(const std::string& url) { m_configUrl = url; }

void InstallerUnderTest::Start(const std::vector<std::wstring>& extraArguments) {
    std::vector<std::wstring> arguments{L"--config-url=" + Nolvar::Core::WstringFromUtf8(m_configUrl),
                                        L"--log-path=" + m_logs.path().wstring()};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    // installer.exe ends with the test process, also when the test is ended from outside: a run left behind
    // would hold the single-instance mutex for the next test. The previous test's run may still be ending.
    {
        Nolvar::Util::AppMutexLocker instance("nolvarianetsetter");
        if (!instance.acquire(30'000)) ADD_FAILURE() << "another installer.exe keeps running";
    }
    try {
        m_process.emplace((BinFolder() / L"installer.exe").wstring(), arguments,
                          Testing::ChildProcess::Lifetime::EndsWithThisProcess);
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
}

HWND InstallerUnderTest::MainWindow(std::chrono::milliseconds timeout) {
    HWND window = Testing::WaitForTopWindow(L"Nolvaria Installer", L"", timeout, ProcessId());
    EXPECT_TRUE(window) << "no splash window; log:\n" << Log();
    return window;
}

HWND InstallerUnderTest::WaitForChild(int controlId, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        HWND main = Testing::FindTopWindow(L"Nolvaria Installer", L"", ProcessId());
        if (HWND child = main ? Testing::FindDescendantById(main, controlId) : nullptr) return child;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        std::this_thread::sleep_for(50ms);
    }
}

bool InstallerUnderTest::WaitForChildGone(int controlId, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        HWND main = Testing::FindTopWindow(L"Nolvaria Installer", L"", ProcessId());
        if (!main || !Testing::FindDescendantById(main, controlId)) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(50ms);
    }
}

HWND InstallerUnderTest::WaitForPopup(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (HWND popup = Testing::FindTopWindow(L"popupMessage", L"", ProcessId())) return popup;
        HWND main = Testing::FindTopWindow(L"Nolvaria Installer", L"", ProcessId());
        if (HWND popup = main ? Testing::FindDescendantByClass(main, L"popupMessage") : nullptr)
            if (IsWindowVisible(popup)) return popup;
        if (std::chrono::steady_clock::now() >= end) return nullptr;
        std::this_thread::sleep_for(50ms);
    }
}

void InstallerUnderTest::Click(HWND parent, int controlId) {
    HWND child = nullptr;
    const auto end = std::chrono::steady_clock::now() + kWindowWait;
    while (!(child = Testing::FindDescendantById(parent, controlId)) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(child) << "no child " << controlId;
    ASSERT_TRUE(Testing::ClickCenter(child, Testing::InputMode::Posted));
}

bool InstallerUnderTest::WaitForClientSize(int width, int height, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        HWND main = Testing::FindTopWindow(L"Nolvaria Installer", L"", ProcessId());
        RECT client{};
        if (main && GetClientRect(main, &client) && client.right == width && client.bottom == height) return true;
        if (std::chrono::steady_clock::now() >= end) {
            ADD_FAILURE() << "client size " << client.right << " x " << client.bottom << ", expected " << width
                          << " x " << height;
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
}

int InstallerUnderTest::WaitForExit(std::chrono::milliseconds timeout) {
    if (!m_process) return -1;
    const int code = m_process->wait(timeout);
    if (m_process->running()) {
        ADD_FAILURE() << "installer.exe did not end; log:\n" << Log();
        m_process->terminate();
        return -1;
    }
    return code;
}

int InstallerUnderTest::CancelByUser() {
    HWND main = MainWindow();
    if (!main) return WaitForExit(1s);
    Testing::PostClose(main);
    HWND popup = WaitForPopup();
    EXPECT_TRUE(popup) << "no cancel question";
    if (popup) Click(popup, 34485);   // Yes
    return WaitForExit();
}

bool InstallerUnderTest::Running() const { return m_process && m_process->running(); }

std::string InstallerUnderTest::Log() const { return Testing::ReadInfoLogs(m_logs.path()); }

bool InstallerUnderTest::WaitForLog(const std::string& text, std::chrono::milliseconds timeout) const {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (Log().find(text) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(100ms);
    }
}

std::vector<std::string> InstallerUnderTest::Events() const {
    std::vector<std::string> events;
    const std::string log = Log();
    static const std::regex tracked("Event \"([A-Z_]+)\" tracked");
    for (auto it = std::sregex_iterator(log.begin(), log.end(), tracked); it != std::sregex_iterator(); ++it)
        events.push_back((*it)[1]);
    return events;
}

nlohmann::json BuiltInConfiguration() {
    return nlohmann::json::parse(Testing::ReadModuleResource(BinFolder() / L"installer.exe", L"IDR_DEFAULT_CFG"),
                                 nullptr, false);
}

int CountDark(const Testing::Capture& capture, RECT area) {
    return capture.count(area, [](std::uint32_t colour) { return Testing::IsDark(colour); });
}

} // namespace SplashTest
