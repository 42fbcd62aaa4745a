// installer.exe driven through its window as a user would: the window test helper clicks, the test server serves
// the configuration, the images and the fake product installer.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "QorFilesystem/CacheRoot.h"
#include "QorString/Utf.h"
#include "splash/win/gui_tests/InstallerUnderTest.h"
#include "splash/win/gui_tests/TestImages.h"
#include "testing/ChildProcess.h"
#include "testing/ProxySettings.h"
#include "testing/RawTcpServer.h"

using namespace SplashTest;
using namespace std::chrono_literals;

namespace {

constexpr int kInstall = 34469;
constexpr int kClose = 34470;
constexpr int kLicenceLink = 34473;
constexpr int kLicenceText = 34474;
constexpr int kSaveLicence = 34475;
constexpr int kSettings = 34476;
constexpr int kLanguage = 34479;
constexpr int kFolder = 34480;
constexpr int kYes = 34485;
constexpr int kNo = 34486;
constexpr int kSkip = 34487;
constexpr int kTryAgain = 34488;
constexpr int kOk = 34470;
constexpr int kWarningCancel = 34490;

// Client sizes at 96 DPI (the window has a one-pixel border): 670 x (356 + 64) and 670 x (356 + 216).
constexpr int kClientWidth = 668;
constexpr int kStartClientHeight = 418;
constexpr int kSettingsClientHeight = 570;

bool Has(const std::vector<std::string>& events, const std::string& name) {
    return std::find(events.begin(), events.end(), name) != events.end();
}

bool Near(std::uint32_t colour, std::uint32_t expected) { return Testing::ColourNear(colour, expected, 40); }

// Starts the run and presses Install on its start screen; the main window, or null when the button never showed.
HWND StartAndPressInstall(InstallerUnderTest& run) {
    run.Start();
    HWND main = run.MainWindow();
    if (!run.WaitForChild(kInstall)) return nullptr;
    run.Click(main, kInstall);
    return main;
}

// Starts the run (with its arguments) and opens the settings screen; the main window, or null when the settings
// button never showed.
HWND StartAndOpenSettings(InstallerUnderTest& run, const std::vector<std::wstring>& arguments = {}) {
    run.Start(arguments);
    HWND main = run.MainWindow();
    if (!run.WaitForChild(kSettings)) return nullptr;
    run.Click(main, kSettings);
    return main;
}

HWND WaitForDescendantByClass(HWND parent, const wchar_t* className) {
    for (auto end = std::chrono::steady_clock::now() + kWindowWait; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms))
        if (HWND found = Testing::FindDescendantByClass(parent, className)) return found;
    return nullptr;
}

// The product installer the run started, as its log names it.
std::filesystem::path StartedInstaller(const std::string& log) {
    const std::string marker = "Creating process ";
    const std::size_t at = log.find(marker);
    if (at == std::string::npos) return {};
    const std::size_t from = at + marker.size();
    return Nolvar::Core::WstringFromUtf8(log.substr(from, log.find(" with args", from) - from));
}

// The command line the fake product installer recorded at its start (it stays only with --debug).
std::string RecordedCommandLine(const InstallerUnderTest& run) {
    const std::filesystem::path installer = StartedInstaller(run.Log());
    return installer.empty() ? std::string() : Testing::ReadWholeFile(installer.wstring() + L".cmdline");
}

// The product as an earlier installation left it: registered, its executable in `folder` and running, until the
// object goes (the fake installer and the product it starts live in a job that ends them).
class RunningProduct {
public:
    RunningProduct(const Testing::TempFolder& folder, const InstallerUnderTest& run) {
        const std::filesystem::path setup = folder / L"earlier-setup.exe";
        std::filesystem::copy_file(
            std::filesystem::path(Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR"))) /
                L"FakeInstaller.exe",
            setup);
        try {
            m_setup.emplace(setup.wstring(),
                            std::vector<std::wstring>{
                                L"/D=" + (folder / L"product").wstring(),
                                L"/FAKE_UNINSTALL=HKCU:64:" + Nolvar::Core::WstringFromUtf8(run.ProductEntry()),
                                L"/FAKE_PRODUCT=" + Nolvar::Core::WstringFromUtf8(run.ProductExe()),
                                L"/FAKE_START_PRODUCT", L"/FAKE_PRODUCT_LIFETIME=600000"},
                            Testing::ChildProcess::Lifetime::EndsWithThisProcess);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "the earlier installation cannot start: " << error.what();
            return;
        }
        EXPECT_EQ(m_setup->wait(std::chrono::seconds(60)), 0) << "the earlier installation failed";
    }

    ~RunningProduct() { Stop(); }

    // Ends the product, as a user closing it.
    void Stop() {
        if (m_setup) m_setup->terminateAll();
    }

private:
    // The earlier installation's job holds the product it started.
    std::optional<Testing::ChildProcess> m_setup;
};

// The events stored in a statistics folder: "UNIQUE_ID" to name.
std::map<std::string, std::string> StoredEvents(const std::filesystem::path& folder) {
    std::map<std::string, std::string> events;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().extension() != L".json") continue;
        const auto event = nlohmann::json::parse(Testing::ReadWholeFile(entry.path()), nullptr, false);
        if (event.is_object() && event.contains("params") && event["params"].is_object())
            events[event["params"].value("UNIQUE_ID", "")] = event.value("name", "");
    }
    return events;
}

// The "UNIQUE_ID" of every event uploaded under the statistics key of a run.
std::multiset<std::string> UploadedIds(InstallerUnderTest& run) {
    std::multiset<std::string> ids;
    for (const auto& request : nlohmann::json::parse(run.Server().recorded(run.StatisticsKey()))) {
        const auto body = nlohmann::json::parse(request.value("body", ""), nullptr, false);
        if (!body.is_object() || !body.contains("events") || !body["events"].is_array()) continue;
        for (const auto& event : body["events"]) ids.insert(event["params"].value("UNIQUE_ID", ""));
    }
    return ids;
}

} // namespace

TEST(InstallerWindow, SpinnerShowsWhileTheConfigurationIsSlowThenTheStartScreen) {
    InstallerUnderTest run;
    run.Serve({}, {}, "?delay=6000");
    run.Start();
    HWND main = run.MainWindow();
    ASSERT_TRUE(main);
    RECT client{};
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, 350);
    EXPECT_EQ(client.bottom, 128);
    EXPECT_TRUE(Testing::ListDescendants(main).empty());
    const auto capture = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(capture);
    EXPECT_GT(CountDark(*capture, RECT{0, 0, 350, 128}), 20) << "no spinner or text";
    EXPECT_GT(capture->count(RECT{0, 0, 350, 20}, [](std::uint32_t c) { return Near(c, 0xFFFFFF); }), 5000);

    ASSERT_TRUE(run.WaitForChild(kInstall)) << run.Log();
    EXPECT_TRUE(run.WaitForClientSize(kClientWidth, kStartClientHeight));
}

// The window is made before anything of the installation starts: when the first request of the run (the
// configuration's) reaches the server, the window is already on screen.
TEST(InstallerWindow, IsOnScreenBeforeTheRunsFirstRequest) {
    InstallerUnderTest run;
    const std::string key = "first-request-" + std::to_string(GetCurrentProcessId());
    run.Server().reset(key);
    run.Serve({}, {}, "?record=" + key + "&delay=3000");
    run.Start();
    const auto requested = [&] {
        const auto requests = nlohmann::json::parse(run.Server().recorded(key), nullptr, false);
        return requests.is_array() && !requests.empty();
    };
    const auto end = std::chrono::steady_clock::now() + kWindowWait;
    bool seen = false;
    while (!seen && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(2ms);
        seen = requested();
    }
    ASSERT_TRUE(seen) << "the configuration was never asked for; log:\n" << run.Log();
    // Looked for after the request was seen, so a window shown before it is always found; one shown after it is
    // missed unless it followed within the last poll.
    EXPECT_TRUE(Testing::FindTopWindow(L"Nolvaria Installer", L"", run.ProcessId()));
}

TEST(InstallerWindow, StartScreenHasItsSizeButtonsAndImage) {
    InstallerUnderTest run;
    run.Serve({});
    run.Start();
    HWND install = run.WaitForChild(kInstall);
    ASSERT_TRUE(install) << run.Log();
    EXPECT_TRUE(run.WaitForClientSize(kClientWidth, kStartClientHeight));
    HWND main = run.MainWindow();
    for (int id : {kClose, kLicenceLink, kSettings}) EXPECT_TRUE(run.WaitForChild(id)) << id;
    for (int id : {kLanguage, kFolder, kLicenceText}) EXPECT_FALSE(Testing::FindDescendantById(main, id)) << id;
    const Testing::WindowInfo button = Testing::DescribeWindow(install);
    EXPECT_EQ(button.clientScreenRect.right - button.clientScreenRect.left, 208);
    EXPECT_EQ(button.clientScreenRect.bottom - button.clientScreenRect.top, 50);

    const auto capture = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(capture);
    // The image fills the upper part; the panel below it is white.
    EXPECT_GT(capture->count(RECT{400, 100, 600, 200}, [](std::uint32_t c) { return Near(c, kStartColour); }), 15000);
    EXPECT_GT(capture->count(RECT{0, 370, 668, 418}, [](std::uint32_t c) { return Near(c, 0xFFFFFF); }), 15000);
    EXPECT_EQ(run.CancelByUser(), 0);
    EXPECT_NE(run.Log().find("Parameter \"DISPLAY_IMAGE\" = \"YES\""), std::string::npos);
}

TEST(InstallerWindow, MissingStartImageShowsTheCaptionOnWhite) {
    InstallerUnderTest run;
    run.Serve({}, Images{false, {}});
    run.Start();
    ASSERT_TRUE(run.WaitForChild(kInstall)) << run.Log();
    HWND main = run.MainWindow();
    const auto capture = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(capture);
    EXPECT_GT(CountDark(*capture, RECT{150, 160, 520, 196}), 30) << "no caption";
    EXPECT_GT(capture->count(RECT{400, 60, 600, 150}, [](std::uint32_t c) { return Near(c, 0xFFFFFF); }), 15000);
    EXPECT_EQ(run.CancelByUser(), 0);
    EXPECT_NE(run.Log().find("Parameter \"DISPLAY_IMAGE\" = \"NO\""), std::string::npos);
    EXPECT_TRUE(Has(run.Events(), "IMAGE_DOWNLOAD_FAILED"));
}

// The start screen waits ten seconds for its image; one that comes later takes the caption's place on the screen the
// user has moved on to.
TEST(InstallerWindow, AStartImageArrivingLateReplacesTheCaptionWhereTheUserIs) {
    InstallerUnderTest run;
    run.Serve({}, Images{true, "?delay=16000"});
    HWND main = StartAndOpenSettings(run);
    ASSERT_TRUE(main) << run.Log();
    ASSERT_TRUE(run.WaitForClientSize(kClientWidth, kSettingsClientHeight));
    auto capture = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(capture);
    EXPECT_GT(CountDark(*capture, RECT{150, 160, 520, 196}), 30) << "no caption";
    EXPECT_EQ(capture->count(RECT{400, 60, 600, 150}, [](std::uint32_t c) { return Near(c, kStartColour); }), 0);

    const auto end = std::chrono::steady_clock::now() + 40s;
    int pictured = 0;
    while (pictured < 15000 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(200ms);
        capture = Testing::CaptureClientAfterRepaint(main);
        if (capture)
            pictured = capture->count(RECT{400, 60, 600, 150}, [](std::uint32_t c) { return Near(c, kStartColour); });
    }
    EXPECT_GE(pictured, 15000) << "the late image is not shown";
    ASSERT_TRUE(capture);
    EXPECT_EQ(CountDark(*capture, RECT{150, 160, 340, 196}), 0) << "the caption is still drawn";
    EXPECT_TRUE(run.WaitForChild(kFolder));
    EXPECT_TRUE(run.WaitForClientSize(kClientWidth, kSettingsClientHeight));
    EXPECT_EQ(run.CancelByUser(), 0);
    EXPECT_TRUE(Has(run.Events(), "SCREEN_IMAGE_ADDED"));
}

TEST(InstallerWindow, CloseButtonWaitsTenSecondsThenNoKeepsRunningAndYesEnds) {
    InstallerUnderTest run;
    run.Serve({});
    run.Start();
    HWND close = run.WaitForChild(kClose);
    ASSERT_TRUE(close) << run.Log();
    const auto created = std::chrono::steady_clock::now();
    ASSERT_TRUE(Testing::ClickCenter(close, Testing::InputMode::Posted));
    EXPECT_FALSE(run.WaitForPopup(2s)) << "the close button worked before its delay";

    std::this_thread::sleep_until(created + 11s);
    ASSERT_TRUE(Testing::ClickCenter(close, Testing::InputMode::Posted));
    HWND popup = run.WaitForPopup();
    ASSERT_TRUE(popup) << run.Log();
    run.Click(popup, kNo);
    EXPECT_TRUE(Testing::WaitForWindowGone(popup, kWindowWait));
    std::this_thread::sleep_for(1s);
    EXPECT_TRUE(run.Running());

    ASSERT_TRUE(Testing::PostClose(run.MainWindow()));
    popup = run.WaitForPopup();
    ASSERT_TRUE(popup);
    run.Click(popup, kYes);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_TRUE(Has(run.Events(), "BUNDLE_INSTALL_CANCELLED"));
    EXPECT_NE(run.Log().find("Parameter \"ERROR_REASON\" = \"USER\""), std::string::npos);
}

TEST(InstallerWindow, SettingsAndLicenceTogglesSwitchScreens) {
    InstallerUnderTest run;
    run.Serve({});
    HWND main = StartAndOpenSettings(run);
    ASSERT_TRUE(main) << run.Log();
    EXPECT_TRUE(run.WaitForChild(kLanguage));
    EXPECT_TRUE(run.WaitForChild(kFolder));
    EXPECT_TRUE(run.WaitForClientSize(kClientWidth, kSettingsClientHeight));

    run.Click(main, kLicenceLink);
    EXPECT_TRUE(run.WaitForChild(kLicenceText));
    EXPECT_TRUE(run.WaitForChild(kSaveLicence));
    EXPECT_TRUE(run.WaitForChildGone(kLanguage));
    EXPECT_TRUE(run.WaitForClientSize(kClientWidth, kSettingsClientHeight));

    run.Click(main, kLicenceLink);
    EXPECT_TRUE(run.WaitForChildGone(kLicenceText));
    EXPECT_TRUE(run.WaitForClientSize(kClientWidth, kStartClientHeight));
    EXPECT_EQ(run.CancelByUser(), 0);
    const auto events = run.Events();
    EXPECT_TRUE(Has(events, "BUNDLE_EULA_HIDDEN"));
    EXPECT_TRUE(Has(events, "BUNDLE_EULA_SHOWN"));
    EXPECT_TRUE(Has(events, "BUNDLE_EULA_REQUESTED"));
    EXPECT_NE(run.Log().find("Parameter \"RESULT\" = \"SUCCEEDED\""), std::string::npos);
}

TEST(InstallerWindow, LanguageChosenInThePopupReachesTheProductInstaller) {
    InstallerUnderTest run;
    run.Serve({});
    HWND main = StartAndOpenSettings(run, {L"--debug"});
    ASSERT_TRUE(main) << run.Log();
    ASSERT_TRUE(run.WaitForChild(kLanguage));
    run.Click(main, kLanguage);
    HWND list = Testing::WaitForTopWindow(L"changeLocalePopupClass", L"", kWindowWait, run.ProcessId());
    ASSERT_TRUE(list);
    run.Click(list, 3394);   // the second row: ru-RU
    run.Click(main, kInstall);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_NE(RecordedCommandLine(run).find("/LOCALE=ru_RU"), std::string::npos) << run.Log();
}

TEST(InstallerWindow, CancelledFolderPickerKeepsTheFolder) {
    InstallerUnderTest run;
    run.Serve({});
    HWND main = StartAndOpenSettings(run);
    ASSERT_TRUE(main) << run.Log();
    HWND folder = run.WaitForChild(kFolder);
    ASSERT_TRUE(folder);
    run.Click(main, kFolder);
    HWND picker = Testing::WaitForTopWindow(L"#32770", L"", kWindowWait, run.ProcessId());
    ASSERT_TRUE(picker);
    EXPECT_TRUE(Testing::FindDescendantById(picker, IDOK));
    Testing::PostCommand(picker, IDCANCEL);
    EXPECT_TRUE(Testing::WaitForWindowGone(picker, kWindowWait));
    run.Click(main, kInstall);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_NE(run.Log().find("'/D=C:\\users\\"), std::string::npos) << run.Log();
    EXPECT_NE(run.Log().find("AppData\\Roaming'"), std::string::npos);
}

TEST(InstallerWindow, ConfirmedFolderPickerInstallsIntoTheChosenFolder) {
    Testing::TempFolder target(L"netsetter-gui-folder-");
    InstallerUnderTest run;
    run.Serve({});
    run.Start({L"--debug"});
    HWND main = run.MainWindow();
    ASSERT_TRUE(run.WaitForChild(kSettings)) << run.Log();
    run.Click(main, kSettings);
    ASSERT_TRUE(run.WaitForChild(kFolder));
    run.Click(main, kFolder);
    HWND picker = Testing::WaitForTopWindow(L"#32770", L"", kWindowWait, run.ProcessId());
    ASSERT_TRUE(picker);
    HWND ok = Testing::FindDescendantById(picker, IDOK);
    HWND name = Testing::FindDescendantByClass(picker, L"Edit");
    ASSERT_TRUE(ok && name);
    // Like a user: the folder in the name field, then OK.
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(target.path().c_str()));
    PostMessageW(ok, BM_CLICK, 0, 0);
    ASSERT_TRUE(Testing::WaitForWindowGone(picker, kWindowWait));
    run.Click(main, kInstall);
    EXPECT_EQ(run.WaitForExit(), 0);
    const std::string arguments = RecordedCommandLine(run);
    EXPECT_NE(arguments.find(Nolvar::Core::Utf8FromWstring(target.path().filename().wstring())), std::string::npos)
        << arguments;
    // The fake product installer put the product into its /D= folder.
    EXPECT_TRUE(std::filesystem::exists(target / Nolvar::Core::WstringFromUtf8(run.ProductExe()))) << run.Log();
}

TEST(InstallerWindow, RunningProductIsAskedToBeClosedUntilItIsThenTheInstallationGoesOn) {
    Testing::TempFolder earlier(L"netsetter-gui-running-");
    InstallerUnderTest run;
    RunningProduct product(earlier, run);
    run.Serve(FakeProduct{"", true, true, ""});
    run.Start();
    HWND popup = run.WaitForPopup(kRunWait);
    ASSERT_TRUE(popup) << run.Log();
    // The close-product warning, before the start screen: its text, Try Again and Cancel.
    EXPECT_FALSE(run.WaitForChild(kInstall, 0ms));
    EXPECT_TRUE(Testing::FindDescendantById(popup, kWarningCancel));
    const auto capture = Testing::CaptureClientAfterRepaint(popup);
    ASSERT_TRUE(capture);
    EXPECT_GT(CountDark(*capture, RECT{0, 55, capture->width, 105}), 20) << "no text";

    // Try Again while the product still runs: asked again.
    run.Click(popup, kTryAgain);
    ASSERT_TRUE(Testing::WaitForWindowGone(popup, kWindowWait));
    popup = run.WaitForPopup();
    ASSERT_TRUE(popup) << run.Log();

    product.Stop();
    run.Click(popup, kTryAgain);
    HWND main = run.MainWindow();
    ASSERT_TRUE(run.WaitForChild(kInstall)) << run.Log();
    run.Click(main, kInstall);
    EXPECT_EQ(run.WaitForExit(), 0);
    const auto events = run.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), std::string("INSTALLING_PROGRAM_IS_RUNNING")), 1);
    EXPECT_TRUE(Has(events, "BUNDLE_INSTALL_FINISHED"));
}

TEST(InstallerWindow, LicenceIsSavedThroughTheSaveDialogWithWindowsLineEnds) {
    Testing::TempFolder folder(L"netsetter-gui-licence-");
    const std::filesystem::path file = folder / L"licence.txt";
    InstallerUnderTest run;
    run.Serve({});
    run.Start();
    HWND main = run.MainWindow();
    ASSERT_TRUE(run.WaitForChild(kLicenceLink)) << run.Log();
    run.Click(main, kLicenceLink);
    ASSERT_TRUE(run.WaitForChild(kSaveLicence));
    run.Click(main, kSaveLicence);
    HWND dialog = Testing::WaitForTopWindow(L"#32770", L"", kWindowWait, run.ProcessId());
    ASSERT_TRUE(dialog);
    HWND name = Testing::FindDescendantById(dialog, 0x480);
    if (!name) name = Testing::FindDescendantById(dialog, 0x47c);
    ASSERT_TRUE(name);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(file.wstring().c_str()));
    Testing::PostCommand(dialog, IDOK);
    EXPECT_TRUE(Testing::WaitForWindowGone(dialog, kWindowWait));
    std::string text;
    for (auto end = std::chrono::steady_clock::now() + 30s; text.empty() && std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(100ms))
        text = Testing::ReadWholeFile(file);
    ASSERT_GT(text.size(), 100u);
    std::size_t bareLineFeeds = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ++bareLineFeeds;
    EXPECT_EQ(bareLineFeeds, 0u);
    EXPECT_NE(text.find("\r\n"), std::string::npos);
    EXPECT_EQ(text.find("\r\r"), std::string::npos);
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(run.CancelByUser(), 0);
    EXPECT_NE(run.Log().find("Saving EULA to file \""), std::string::npos);
}

TEST(InstallerWindow, ProgressThenWaitScreenWhereCloseIsIgnored) {
    InstallerUnderTest run;
    run.Serve(FakeProduct{"/FAKE_SLEEP=6000", true, false, "?rate=300000"});
    HWND main = StartAndPressInstall(run);
    ASSERT_TRUE(main) << run.Log();
    EXPECT_TRUE(WaitForDescendantByClass(main, L"progrssBar")) << "no progress bar";
    ASSERT_TRUE(WaitForDescendantByClass(main, L"progrssIndicator")) << "no activity bar";
    Testing::PostClose(main);
    EXPECT_FALSE(run.WaitForPopup(2s)) << "WM_CLOSE asked on the wait screen";
    EXPECT_TRUE(run.Running());
    EXPECT_EQ(run.WaitForExit(), 0);
    const auto events = run.Events();
    EXPECT_TRUE(Has(events, "DOWNLOAD_SCREEN_SHOWN"));
    EXPECT_TRUE(Has(events, "INSTALL_SCREEN_SHOWN"));
    EXPECT_TRUE(Has(events, "BUNDLE_INSTALL_FINISHED"));
}

TEST(InstallerWindow, FailedDownloadRetriedThreeTimesEndsInTheNoConnectionPopup) {
    InstallerUnderTest run;
    run.Serve(FakeProduct{"", true, false, "?status=404"});
    HWND main = StartAndPressInstall(run);
    ASSERT_TRUE(main) << run.Log();
    for (int round = 0; round < 3; ++round) {
        HWND popup = run.WaitForPopup(kRunWait);
        ASSERT_TRUE(popup) << "retry pop-up " << round << "\n" << run.Log();
        run.Click(popup, kTryAgain);
        ASSERT_TRUE(Testing::WaitForWindowGone(popup, kWindowWait));
    }
    HWND noConnection = run.WaitForPopup(kRunWait);
    ASSERT_TRUE(noConnection) << run.Log();
    run.Click(noConnection, kOk);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_TRUE(Has(run.Events(), "NO_CONNECTION_POPUP_SHOWN"));
    EXPECT_NE(run.Log().find("Parameter \"ERROR_REASON\" = \"You need to be connected to the Internet to download "
                             "the program.\""),
              std::string::npos);
}

// At the shipped timing: starts the run, presses Install as soon as it shows (before the configuration's fallback is
// parsed, which must not lose it), Try Again on the first pop-up and Cancel on the second. The start screen comes
// within 15 s, the first pop-up within 90 s of Install and the next within `tryAgainLimit` seconds of Try Again.
void ExpectThePopupsInTimeWithoutNetwork(InstallerUnderTest& run, double tryAgainLimit) {
    using Clock = std::chrono::steady_clock;
    const auto since = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
    const auto started = Clock::now();
    run.Start();
    HWND main = run.MainWindow();
    ASSERT_TRUE(run.WaitForChild(kInstall, 30s)) << run.Log();
    const double startScreen = since(started);
    run.Click(main, kInstall);
    const auto pressed = Clock::now();
    HWND popup = run.WaitForPopup(150s);
    ASSERT_TRUE(popup) << run.Log();
    const double afterInstall = since(pressed);
    run.Click(popup, kTryAgain);
    ASSERT_TRUE(Testing::WaitForWindowGone(popup, kWindowWait));
    const auto tryAgain = Clock::now();
    popup = run.WaitForPopup(90s);
    ASSERT_TRUE(popup) << run.Log();
    const double afterTryAgain = since(tryAgain);
    std::printf("start screen after %.1f s, retry pop-up %.1f s after Install, again %.1f s after Try Again\n",
                startScreen, afterInstall, afterTryAgain);
    EXPECT_LT(startScreen, 15);
    EXPECT_LT(afterInstall, 90);
    EXPECT_LT(afterTryAgain, tryAgainLimit);
    run.Click(popup, 34489);   // Cancel
    EXPECT_EQ(run.WaitForExit(), 0);
    const auto events = run.Events();
    EXPECT_EQ(std::count(events.begin(), events.end(), std::string("PRODUCT_DOWNLOAD_ERROR")), 2);
    EXPECT_TRUE(Has(events, "IMAGE_DOWNLOAD_FAILED"));
}

// No name resolves: every try fails at once, and Try Again asks the network again at once.
TEST(InstallerWindow, OfflineTheStartScreenComesWithinFifteenSecondsAndTheRetryPopupWithinNinetyAfterInstall) {
    InstallerUnderTest run;
    run.ServeNothing();
    ExpectThePopupsInTimeWithoutNetwork(run, 30);
}

// The system proxy takes every connection and never answers: every try ends only with its time-out.
TEST(InstallerWindow, BehindAProxyThatNeverAnswersThePopupsComeWithinNinetySecondsOfInstallAndFortyFiveOfTryAgain) {
    Testing::RawTcpServer proxy(Testing::RawTcpServer::Behaviour::Silent);
    const std::string address = proxy.url("");
    Testing::ConnectionSettingsScope settings(Testing::ConnectionSettings(
        Testing::kManualProxy | Testing::kDirectConnection, address.substr(address.find("//") + 2), "", ""));
    InstallerUnderTest run;
    run.ServeNothing();
    ExpectThePopupsInTimeWithoutNetwork(run, 45);
    EXPECT_NE(run.Log().find("Transfer slower than"), std::string::npos) << "the proxy was not used";
}

TEST(InstallerWindow, SkipOnTheRetryPopupCancelsTheInstallation) {
    InstallerUnderTest run;
    run.Serve(FakeProduct{"", true, false, "?status=404"});
    HWND main = StartAndPressInstall(run);
    ASSERT_TRUE(main) << run.Log();
    HWND popup = run.WaitForPopup(kRunWait);
    ASSERT_TRUE(popup) << run.Log();
    run.Click(popup, kSkip);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_NE(run.Log().find("Parameter \"ERROR_REASON\" = \"Retry dialog cancelled!\""), std::string::npos);
}

TEST(InstallerWindow, FailingProductInstallerIsOfferedForRetry) {
    InstallerUnderTest run;
    run.Serve(FakeProduct{"/FAKE_EXIT=6", false, false, ""});
    HWND main = StartAndPressInstall(run);
    ASSERT_TRUE(main) << run.Log();
    HWND popup = run.WaitForPopup(kRunWait);
    ASSERT_TRUE(popup) << run.Log();
    run.Click(popup, 34489);   // Cancel
    EXPECT_EQ(run.WaitForExit(), 0);
    const auto events = run.Events();
    EXPECT_TRUE(Has(events, "SOMETHING_WRONG_POPUP_SHOWN"));
    EXPECT_GE(std::count(events.begin(), events.end(), std::string("PRODUCT_INSTALL_FAILED")), 2);
    EXPECT_NE(run.Log().find("Parameter \"ERROR_REASON\" = \"Something went wrong"), std::string::npos);
}

TEST(InstallerWindow, NormalEndLeavesNoWindowNoProcessAndNoWorkingFolder) {
    InstallerUnderTest run;
    run.Serve({});
    HWND main = StartAndPressInstall(run);
    ASSERT_TRUE(main) << run.Log();
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_FALSE(Testing::FindTopWindow(L"Nolvaria Installer", L"", run.ProcessId()));
    const std::string log = run.Log();
    const auto events = run.Events();
    EXPECT_TRUE(Has(events, "BUNDLE_EULA_ACCEPTED"));
    EXPECT_TRUE(Has(events, "PRODUCT_INSTALL_FINISHED"));
    EXPECT_TRUE(Has(events, "BUNDLE_INSTALL_FINISHED"));
    // The product installer ran from this run's working folder, which is gone.
    const std::size_t at = log.find("Creating process ");
    ASSERT_NE(at, std::string::npos) << log;
    const std::string path = log.substr(at + 17, log.find(" with args", at) - at - 17);
    const std::filesystem::path installer(Nolvar::Core::WstringFromUtf8(path));
    EXPECT_FALSE(std::filesystem::exists(installer.parent_path())) << path;
}

// A user who closes the window while the configuration's address never answers loses no statistics event: the run
// stores them where the built-in configuration keeps events, and the next run sends them.
TEST(InstallerWindow, EventsOfARunClosedBeforeItsConfigurationArrivedAreSentByTheNextRun) {
    const std::string product =
        BuiltInConfiguration()["data"]["Statistics"]["targetApplicationId"].value("DefaultValue", "");
    ASSERT_FALSE(product.empty());
    const std::filesystem::path folder = std::filesystem::path(Nolvar::Core::GetSystemCacheRoot().wstring()) /
                                         L"Nolvaria" / Nolvar::Core::WstringFromUtf8(product) / L"EventsStorage";
    const auto earlier = StoredEvents(folder);  // other runs' events may wait there too

    Testing::RawTcpServer silent(Testing::RawTcpServer::Behaviour::Silent);
    InstallerUnderTest first;
    first.ServeConfigurationFrom(silent.url("/config.json"));
    const auto started = std::chrono::steady_clock::now();
    first.Start();
    ASSERT_TRUE(first.MainWindow());
    std::this_thread::sleep_until(started + 25s);
    ASSERT_EQ(first.CancelByUser(), 0);
    std::map<std::string, std::string> stored;
    for (const auto& [id, name] : StoredEvents(folder))
        if (!earlier.count(id)) stored.emplace(id, name);
    const auto tracked = first.Events();
    EXPECT_EQ(stored.size(), tracked.size()) << first.Log();
    EXPECT_TRUE(Has(tracked, "BUNDLE_INSTALL_CANCELLED"));

    InstallerUnderTest next;
    next.SetStatisticsProduct(product);
    next.Serve({});
    next.Start();
    ASSERT_TRUE(next.MainWindow());
    const auto shown = std::chrono::steady_clock::now();
    const auto deliveredOnce = [&] {
        const auto uploaded = UploadedIds(next);
        return std::count_if(stored.begin(), stored.end(), [&](const auto& event) {
            return uploaded.count(event.first) == 1;
        });
    };
    const auto end = std::chrono::steady_clock::now() + kWindowWait;
    while (deliveredOnce() < static_cast<std::ptrdiff_t>(stored.size()) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(200ms);
    EXPECT_EQ(deliveredOnce(), static_cast<std::ptrdiff_t>(stored.size()));
    std::string names;
    for (const auto& [id, name] : stored) names += " " + name;
    std::printf("a run closed 25 s after its start, its configuration never answering: %zu events tracked, %zu "
                "stored (%s ); the next run delivered %d of them\n",
                tracked.size(), stored.size(), names.c_str(), static_cast<int>(deliveredOnce()));
    std::this_thread::sleep_until(shown + 11s);  // the window can be closed ten seconds after it shows
    EXPECT_EQ(next.CancelByUser(), 0);
}
