// installer.exe at 96, 120 and 144 DPI (the prefix's LogPixels): the window, its widgets and pop-ups have the sizes
// of their geometry times dpi/96, the picture fills the whole image area and no icon runs into its button's text;
// the window with a panel open lies inside the work area of its monitor (the test display is 1920 x 1080).
// Screenshots of each DPI (the whole screen with the settings and the licence open, in English and Russian) are kept
// under the build folder's test-artifacts.
#include <algorithm>
#include <filesystem>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "QorString/Utf.h"
#include "splash/win/SplashMessage.h"
#include "splash/win/gui_tests/InstallerUnderTest.h"
#include "splash/win/gui_tests/TestImages.h"
#include "splash/win/gui_tests/WidgetTestSupport.h"

using namespace SplashTest;
using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kTrack = 0xDDE2E5;
constexpr std::uint32_t kFill = 0x168FD3;

// Geometry in DIPs: the image area is half the 1340 x 712 picture, the panel below it 64 or 216 high.
constexpr int kW = 670;
constexpr int kH = 356;

int Scaled(int dips, int dpi) { return dips * dpi / 96; }

RECT WindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

SIZE WindowSize(HWND window) {
    const RECT rect = WindowRect(window);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

RECT WorkArea(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

// The window lies inside the work area of its monitor: up as far as its panel needs, never above the area's top,
// and no higher than where the start screen put it (`startTop`).
void ExpectInsideWorkArea(HWND main, LONG startTop, const char* screen) {
    const RECT window = WindowRect(main);
    const RECT area = WorkArea(main);
    EXPECT_GE(window.left, area.left) << screen;
    EXPECT_LE(window.right, area.right) << screen;
    EXPECT_LE(window.bottom, area.bottom) << screen << ": the window runs off the work area";
    EXPECT_EQ(window.top, std::max(area.top, std::min(startTop, area.bottom - (window.bottom - window.top))))
        << screen << ": not moved up just enough";
}

void Save(const Testing::Capture& capture, const std::string& name) {
    const std::filesystem::path folder =
        std::filesystem::path(Nolvar::Core::WstringFromUtf8(Testing::HarnessVariable("NETSETTER_BIN_DIR"))) / L".." /
        L"test-artifacts";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    capture.saveBmp((folder / Nolvar::Core::WstringFromUtf8(name + ".bmp")).wstring());
}

// The whole screen as it is now, to see where the window stands on it.
void SaveScreen(HWND main, const std::string& name) {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &info);
    if (const auto shot = Testing::CaptureScreen(info.rcMonitor)) Save(*shot, name);
}

// The picture's colour along the image area's right and bottom edges (inside the one-pixel border), where no widget
// lies.
void ExpectPictureToTheEdges(const Testing::Capture& shot, int dpi, std::uint32_t colour) {
    const int right = Scaled(kW, dpi) - 2 - 3;
    const int bottom = Scaled(kH, dpi) - 1 - 3;
    for (int y = Scaled(60, dpi); y < bottom; y += 23)
        EXPECT_TRUE(Testing::ColourNear(shot.at(right, y), colour)) << "right edge at y " << y << ": " << std::hex
                                                                     << shot.at(right, y);
    for (int x = 10; x < right; x += 37)
        EXPECT_TRUE(Testing::ColourNear(shot.at(x, bottom), colour)) << "bottom edge at x " << x << ": " << std::hex
                                                                      << shot.at(x, bottom);
}

// A part of a capture of the main window's client area (client pixels).
Testing::Capture Crop(const Testing::Capture& shot, const RECT& rect) {
    Testing::Capture part;
    part.width = rect.right - rect.left;
    part.height = rect.bottom - rect.top;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x) part.pixels.push_back(shot.contains(x, y) ? shot.at(x, y) : 0);
    return part;
}

// The child's part of a capture of the main window's client area.
Testing::Capture Crop(const Testing::Capture& shot, HWND main, HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, main, reinterpret_cast<POINT*>(&rect), 2);
    return Crop(shot, rect);
}

// Runs of columns holding ink (text or icon pixels) in the middle rows of a button, left to right; runs closer
// than `join` columns are one (the letters of a word, the dots of an icon).
std::vector<std::pair<int, int>> InkRuns(const Testing::Capture& button, bool (*ink)(std::uint32_t), int join) {
    std::vector<std::pair<int, int>> runs;
    for (int x = 0; x < button.width; ++x) {
        bool any = false;
        for (int y = button.height / 5; y < button.height * 4 / 5 && !any; ++y) any = ink(button.at(x, y));
        if (!any) continue;
        if (!runs.empty() && x - runs.back().second <= join) runs.back().second = x;
        else runs.push_back({x, x});
    }
    return runs;
}

// Ink on a black button (white text and arrow), on white (dark or grey text and icons) and on light grey.
bool OnBlack(std::uint32_t c) { return std::min({Testing::Red(c), Testing::Green(c), Testing::Blue(c)}) > 100; }
bool OnWhite(std::uint32_t c) { return Testing::IsDark(c, 190); }
bool OnGrey(std::uint32_t c) { return Testing::IsDark(c, 150); }

enum class End { Left, Right };

// The icon at one end of a button is a run of its own, of its drawn width at this DPI, apart from the text (and
// inside the button).
void ExpectIconApart(const Testing::Capture& button, bool (*ink)(std::uint32_t), End end, float iconDips, int dpi,
                     const char* what) {
    const auto runs = InkRuns(button, ink, Scaled(3, dpi));
    ASSERT_GE(runs.size(), 2u) << what << ": no icon and text apart";
    const auto icon = end == End::Left ? runs.front() : runs.back();
    const auto next = end == End::Left ? runs[1] : runs[runs.size() - 2];
    const float width = static_cast<float>(icon.second - icon.first + 1);
    const float expected = iconDips * static_cast<float>(dpi) / 96.0f;
    EXPECT_NEAR(width, expected, expected * 0.15f + 1) << what << ": not drawn at its size, or run into the text";
    const int gap = end == End::Left ? next.first - icon.second - 1 : icon.first - next.second - 1;
    EXPECT_GE(gap, Scaled(3, dpi)) << what << ": the icon touches the text";
}

HWND Child(HWND parent, int id) { return Testing::FindDescendantById(parent, id); }

// The progress bar's window has no control id.
HWND ProgressBar(HWND main) {
    for (auto end = std::chrono::steady_clock::now() + kWindowWait; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms))
        if (HWND bar = Testing::FindDescendantByClass(main, L"progrssBar")) return bar;
    return nullptr;
}

// Chooses the language in the settings panel's list (the rows in the order of the built-in locales).
void ChooseLanguage(InstallerUnderTest& run, HWND main, int row) {
    run.Click(main, Nolvar::LanguageButton);
    HWND list = Testing::WaitForTopWindow(L"changeLocalePopupClass", L"", kWindowWait, run.ProcessId());
    ASSERT_TRUE(list);
    run.Click(list, row);
    // The list hides once a row is chosen.
    const auto end = std::chrono::steady_clock::now() + kWindowWait;
    while (IsWindowVisible(list) && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(20ms);
    ASSERT_FALSE(IsWindowVisible(list));
}

// Waits until the area of the window's client area looks other than `before` and has stopped changing (repainted
// after a change).
bool WaitForNewLook(HWND window, const RECT& area, const Testing::Capture& before) {
    std::optional<Testing::Capture> last;
    for (auto end = std::chrono::steady_clock::now() + kWindowWait; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(300ms)) {
        const auto shot = Testing::CaptureClient(window);
        if (!shot) continue;
        Testing::Capture part = Crop(*shot, area);
        if (last && part.pixels == last->pixels && part.pixels != before.pixels) return true;
        last = std::move(part);
    }
    return false;
}

// The start screen with the settings open, the licence open (in English, then in Russian), the cancel question and
// the progress screen.
void CheckScreensAt(int dpi) {
    const std::string at = std::to_string(dpi) + "dpi";
    WidgetTesting::PrefixDpi prefixDpi(static_cast<DWORD>(dpi));
    SetCursorPos(1900, 1060);
    InstallerUnderTest run;
    // The product comes slowly (its download starts with the run: about 30 s for its 1.2 MB), so that the progress
    // screen stays for a while after the steps before Install.
    run.Serve(FakeProduct{"", true, false, "?rate=40000"});
    run.Start();
    HWND main = run.MainWindow();
    ASSERT_TRUE(main);
    ASSERT_TRUE(run.WaitForChild(Nolvar::SettingsToggle)) << run.Log();
    ASSERT_TRUE(run.WaitForClientSize(Scaled(kW, dpi) - 2, Scaled(kH + 64, dpi) - 2)) << "start screen";
    const LONG startTop = WindowRect(main).top;
    run.Click(main, Nolvar::SettingsToggle);
    // The window and its border: W x (H + 216) DIPs.
    ASSERT_TRUE(run.WaitForClientSize(Scaled(kW, dpi) - 2, Scaled(kH + 216, dpi) - 2)) << "settings screen";
    ASSERT_TRUE(run.WaitForChild(Nolvar::FolderButton));
    std::this_thread::sleep_for(500ms);

    const auto settings = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(settings);
    Save(*settings, "settings-" + at);
    SaveScreen(main, "screen-settings-en-" + at);
    ExpectInsideWorkArea(main, startTop, "settings");
    ExpectPictureToTheEdges(*settings, dpi, kStartColour);
    EXPECT_EQ(WindowSize(Child(main, Nolvar::InstallButton)).cx, Scaled(116 + 208, dpi) - Scaled(116, dpi));
    EXPECT_EQ(WindowSize(Child(main, Nolvar::SettingsToggle)).cy, Scaled(kH + 17 + 30, dpi) - Scaled(kH + 17, dpi));
    EXPECT_EQ(WindowSize(Child(main, Nolvar::FolderButton)).cx, Scaled(kW - 10, dpi) - Scaled(10, dpi));

    const Testing::Capture install = Crop(*settings, main, Child(main, Nolvar::InstallButton));
    ExpectIconApart(install, &OnBlack, End::Right, 12.25f, dpi, "Install arrow");
    const Testing::Capture toggle = Crop(*settings, main, Child(main, Nolvar::SettingsToggle));
    ExpectIconApart(toggle, &OnWhite, End::Left, 14.5f, dpi, "settings gear");
    ExpectIconApart(toggle, &OnWhite, End::Right, 8.5f, dpi, "settings chevron");
    const Testing::Capture folder = Crop(*settings, main, Child(main, Nolvar::FolderButton));
    ExpectIconApart(folder, &OnGrey, End::Right, 13.0f, dpi, "folder dots");

    run.Click(main, Nolvar::LicenceLink);
    ASSERT_TRUE(run.WaitForChild(Nolvar::LicenceText));
    std::this_thread::sleep_for(500ms);
    const auto licence = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(licence);
    SaveScreen(main, "screen-licence-en-" + at);
    ExpectInsideWorkArea(main, startTop, "licence");
    const RECT save = WindowRect(Child(main, Nolvar::SaveLicenceButton));
    EXPECT_LE(save.bottom, WorkArea(main).bottom) << "the licence's save icon is off the screen";
    ExpectPictureToTheEdges(*licence, dpi, kStartColour);
    EXPECT_EQ(WindowSize(Child(main, Nolvar::LicenceText)).cy, Scaled(kH + 64 + 111, dpi) - Scaled(kH + 64, dpi));

    // In Russian (the second row of the list), through the settings panel.
    run.Click(main, Nolvar::SettingsToggle);
    ASSERT_TRUE(run.WaitForChild(Nolvar::LanguageButton));
    // The caption "Select a language:" at (10, H + 69), drawn by the window itself.
    const RECT caption{Scaled(10, dpi), Scaled(kH + 69, dpi), Scaled(210, dpi), Scaled(kH + 85, dpi)};
    const Testing::Capture english = Crop(*settings, caption);
    ChooseLanguage(run, main, 3394);
    EXPECT_TRUE(WaitForNewLook(main, caption, english)) << "the window is not drawn in Russian";
    SaveScreen(main, "screen-settings-ru-" + at);
    ExpectInsideWorkArea(main, startTop, "settings in Russian");
    run.Click(main, Nolvar::LicenceLink);
    ASSERT_TRUE(run.WaitForChild(Nolvar::LicenceText));
    std::this_thread::sleep_for(500ms);
    SaveScreen(main, "screen-licence-ru-" + at);
    ExpectInsideWorkArea(main, startTop, "licence in Russian");

    // A DPI change (another monitor, another scale) brings a window that stands out of the work area back in. It
    // comes after the placement checks, as this program cannot put the window back exactly: Wine fixes a process's
    // system DPI when the process starts (this one started at 96), and scales a move this program makes by dpi/96
    // whenever it takes the window's DPI for the installer's, as it now and then does on a loaded machine. Scaled or
    // not, the move leaves the window standing out of the work area.
    const RECT placed = WindowRect(main);
    SetWindowPos(main, nullptr, placed.left, WorkArea(main).bottom - 100, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_GT(WindowRect(main).bottom, WorkArea(main).bottom);
    RECT suggested = WindowRect(main);
    SendMessageW(main, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(WindowRect(main).bottom, WorkArea(main).bottom) << "not brought back after a DPI change";
    EXPECT_EQ(WindowSize(main).cy, placed.bottom - placed.top);

    // The cancel question: 350 x 165 DIPs.
    Testing::PostClose(main);
    HWND popup = run.WaitForPopup();
    ASSERT_TRUE(popup);
    EXPECT_EQ(WindowSize(popup).cx, Scaled(350, dpi));
    EXPECT_EQ(WindowSize(popup).cy, Scaled(165, dpi));
    EXPECT_EQ(WindowSize(Child(popup, Nolvar::NoButton)).cx, Scaled(300, dpi) - Scaled(180, dpi));
    std::this_thread::sleep_for(300ms);
    const auto question = Testing::CaptureClientAfterRepaint(popup);
    ASSERT_TRUE(question);
    Save(*question, "question-" + at);
    // The icon, 32 DIPs wide, centred with its top at 19.
    EXPECT_GT(question->count(RECT{Scaled(159, dpi), Scaled(19, dpi), Scaled(191, dpi), Scaled(51, dpi)},
                              [](auto c) { return Testing::ColourNear(c, kFill, 40); }),
              Scaled(16, dpi) * Scaled(16, dpi))
        << "no question icon";
    run.Click(popup, Nolvar::NoButton);
    ASSERT_TRUE(Testing::WaitForWindowGone(popup, kWindowWait));

    // The panel closed, the window keeps its top (what was clicked stays under the pointer).
    const LONG panelTop = WindowRect(main).top;
    run.Click(main, Nolvar::LicenceLink);
    ASSERT_TRUE(run.WaitForChildGone(Nolvar::LicenceText));
    ASSERT_TRUE(run.WaitForClientSize(Scaled(kW, dpi) - 2, Scaled(kH + 64, dpi) - 2)) << "start screen again";
    EXPECT_EQ(WindowRect(main).top, panelTop);
    run.Click(main, Nolvar::InstallButton);
    HWND bar = ProgressBar(main);
    ASSERT_TRUE(bar) << run.Log();
    ASSERT_TRUE(run.WaitForClientSize(Scaled(kW, dpi) - 2, Scaled(kH + 64, dpi) - 2)) << "progress screen";
    std::this_thread::sleep_for(800ms);
    const auto progress = Testing::CaptureClientAfterRepaint(main);
    ASSERT_TRUE(progress);
    Save(*progress, "progress-" + at);
    ExpectPictureToTheEdges(*progress, dpi, kProgressColour);
    EXPECT_EQ(WindowSize(bar).cy, Scaled(kH + 64, dpi) - Scaled(kH, dpi));
    EXPECT_EQ(run.WaitForExit(), 0) << run.Log();
}

TEST(InstallerDpi, At96TheScreensHaveTheirGeometry) { CheckScreensAt(96); }
TEST(InstallerDpi, At120TheScreensGrowByAQuarter) { CheckScreensAt(120); }
TEST(InstallerDpi, At144TheScreensGrowByHalf) { CheckScreensAt(144); }

// A product download answered with an error page: the bar and its label keep the last real figure (none: 0 %).
TEST(InstallerProgress, AFailedDownloadIsNotShownAsFinished) {
    InstallerUnderTest run;
    run.Serve(FakeProduct{"", true, false, "?status=500"});
    run.Start();
    HWND main = run.MainWindow();
    ASSERT_TRUE(run.WaitForChild(Nolvar::InstallButton)) << run.Log();
    run.Click(main, Nolvar::InstallButton);
    HWND popup = run.WaitForPopup(kRunWait);
    ASSERT_TRUE(popup) << run.Log();
    HWND bar = ProgressBar(main);
    ASSERT_TRUE(bar);
    const auto shot = Testing::CaptureClientAfterRepaint(bar);
    ASSERT_TRUE(shot);
    EXPECT_TRUE(Testing::ColourNear(shot->at(shot->width - 10, 5), kTrack)) << std::hex << shot->at(shot->width - 10, 5);
    EXPECT_TRUE(Testing::ColourNear(shot->at(10, 5), kTrack)) << "some progress shown: " << std::hex << shot->at(10, 5);
    run.Click(popup, Nolvar::SkipButton);
    EXPECT_EQ(run.WaitForExit(), 0);
}

} // namespace
