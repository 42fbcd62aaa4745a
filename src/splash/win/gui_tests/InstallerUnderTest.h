#pragma once
// installer.exe run as a user would run it, against a configuration served by the test server with the fake
// product installer as the product; the window is found and driven through the window probe.
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "testing/ChildProcess.h"
#include "testing/TempFolder.h"
#include "testing/TestServer.h"
#include "testing/WindowProbe.h"

namespace SplashTest {

using namespace std::chrono_literals;

// Generous limits: the window is drawn in software under Wine on a loaded machine.
constexpr std::chrono::milliseconds kWindowWait = 60s;
constexpr std::chrono::milliseconds kRunWait = 180s;

struct FakeProduct {
    std::string fakeArgs;          // the fake installer's own arguments (/FAKE_EXIT=, /FAKE_SLEEP=, ...)
    bool registers = true;         // the fake registers the product, so the search finds it
    bool checkRunning = false;     // the configuration's "check_app_running"
    std::string serverQuery;       // appended to the installer's download URL (e.g. "?status=404")
};

struct Images {
    bool start = true;             // false: the start image answers 404
    std::string startQuery;        // appended to the start image's URL (e.g. "?delay=3000")
};

class InstallerUnderTest {
public:
    InstallerUnderTest();
    ~InstallerUnderTest();
    InstallerUnderTest(const InstallerUnderTest&) = delete;
    InstallerUnderTest& operator=(const InstallerUnderTest&) = delete;

    // Serves a configuration with one product; `configQuery` is appended to the configuration's URL.
    void Serve(const FakeProduct& product, const Images& images = {}, const std::string& configQuery = {});
    // No network: the configuration's host does not resolve, nor do those of the built-in configuration.
    void ServeNothing();
    // The configuration is asked of `url` (a server that never answers, for one); nothing is served.
    void ServeConfigurationFrom(const std::string& url);
    // The "targetApplicationId" of the configuration Serve serves: its events are stored in a folder of that name.
    void SetStatisticsProduct(const std::string& product) { m_statisticsProduct = product; }
    // The test server's key of the statistics uploads of the configuration Serve serves.
    std::string StatisticsKey() const { return m_prefix + "-statistics"; }
    void Start(const std::vector<std::wstring>& extraArguments = {});

    // The main window of the run (class "Nolvaria Installer"); fails the test when it does not appear.
    HWND MainWindow(std::chrono::milliseconds timeout = kWindowWait);
    // The child window with the control id, once it exists.
    HWND WaitForChild(int controlId, std::chrono::milliseconds timeout = kWindowWait);
    bool WaitForChildGone(int controlId, std::chrono::milliseconds timeout = kWindowWait);
    // The pop-up message window of the run, once shown.
    HWND WaitForPopup(std::chrono::milliseconds timeout = kWindowWait);
    // Clicks the child (posted input) once it exists and is enabled.
    void Click(HWND parent, int controlId);
    // Waits for the client size (pixels) of the main window.
    bool WaitForClientSize(int width, int height, std::chrono::milliseconds timeout = kWindowWait);

    // The exit code; -1 when the run does not end in time (the process is then ended).
    int WaitForExit(std::chrono::milliseconds timeout = kRunWait);
    // Ends the run as a user does (closing the window, answering Yes) and returns the exit code. The log is
    // complete only after the run has ended.
    int CancelByUser();
    bool Running() const;

    // The run's INFO log so far (buffered: lines may come late while the run goes on).
    std::string Log() const;
    bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout = kWindowWait) const;
    // The statistics events the run tracked, in order (from its log).
    std::vector<std::string> Events() const;

    std::string ProductEntry() const { return m_entry; }
    std::string ProductExe() const { return m_productExe; }

    Testing::TestServer& Server() { return m_server; }
    DWORD ProcessId() const { return m_process ? m_process->id() : 0; }

private:
    nlohmann::json Value(const std::string& text) const;

    Testing::TestServer m_server;
    Testing::TempFolder m_logs{L"netsetter-gui-logs-"};
    std::string m_prefix;
    std::string m_entry;
    std::string m_productExe;
    std::string m_configUrl;
    std::string m_statisticsProduct = "netsetter-gui-test";
    std::optional<Testing::ChildProcess> m_process;
};

// The built-in configuration of installer.exe.
nlohmann::json BuiltInConfiguration();

// 0xRRGGBB colours of the client area are "dark" (text) or "light" (background) in broad bands.
int CountDark(const Testing::Capture& capture, RECT area);

} // namespace SplashTest
