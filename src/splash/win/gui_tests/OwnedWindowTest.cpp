// The window plumbing every widget shares: messages reach the owner's handler, a window the system destroyed with
// its parent is let go (never destroyed twice), and an exception of a handler is logged and handed to the window's
// failure reaction, or reported to the root owner.
#include "splash/win/widgets/OwnedWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "testing/LogCapture.h"
#include "testing/WindowProbe.h"

namespace {

using namespace std::chrono_literals;
using namespace Nolvar;

constexpr UINT kBreak = WM_USER + 50;
constexpr UINT kAsk = WM_USER + 51;

// A handler that records what it sees, answers kAsk with 42 and throws at kBreak.
struct Recorder {
    std::vector<UINT> seen;
    OwnedWindow::Handler handler() {
        return [this](HWND window, UINT message, WPARAM wp, LPARAM lp) -> LRESULT {
            seen.push_back(message);
            if (message == kAsk) return 42;
            if (message == kBreak) throw std::runtime_error("probe broke");
            return DefWindowProcW(window, message, wp, lp);
        };
    }
    bool saw(UINT message) const { return std::find(seen.begin(), seen.end(), message) != seen.end(); }
};

TEST(OwnedWindowTest, AChildDestroyedWithItsParentIsLetGoAndSeesItsLastMessage) {
    Recorder parentLog;
    Recorder childLog;
    OwnedWindow parent;
    parent.Create(nullptr, L"widgetWindowParent", {40, 40, 240, 140}, WS_POPUP | WS_VISIBLE, 0,
                  "Parent window procedure", parentLog.handler());
    OwnedWindow child;
    child.Create(parent.get(), L"widgetWindowChild", {10, 10, 60, 40}, WS_CHILD | WS_VISIBLE, 7,
                 "Child window procedure", childLog.handler());
    ASSERT_TRUE(parent && child);
    EXPECT_EQ(GetDlgCtrlID(child.get()), 7);
    EXPECT_EQ(SendMessageW(child.get(), kAsk, 0, 0), 42);

    const HWND childWindow = child.get();
    DestroyWindow(parent.get());
    EXPECT_FALSE(IsWindow(childWindow));
    EXPECT_TRUE(childLog.saw(WM_NCDESTROY));
    EXPECT_FALSE(child) << "let go: the owner's destructor must not destroy it again";
    EXPECT_FALSE(parent);
}

TEST(OwnedWindowTest, AnOwnerThatDestroysItsWindowSeesNoneOfTheDestruction) {
    Recorder log;
    auto window = std::make_unique<OwnedWindow>();
    window->Create(nullptr, L"widgetWindowOwned", {40, 40, 240, 140}, WS_POPUP, 0, "Owned window procedure",
                   log.handler());
    const HWND handle = window->get();
    window.reset();
    EXPECT_FALSE(IsWindow(handle));
    EXPECT_FALSE(log.saw(WM_DESTROY));
    EXPECT_FALSE(log.saw(WM_NCDESTROY));
}

TEST(OwnedWindowTest, AnExceptionIsLoggedAndHandedToTheReactionOrReportedToTheRootOwner) {
    Testing::LogCapture log;
    Recorder mainLog;
    std::vector<std::string> failures;
    OwnedWindow main;
    main.Create(nullptr, L"widgetWindowMain", {40, 40, 240, 140}, WS_POPUP | WS_VISIBLE, 0, "Main window procedure",
                mainLog.handler(), [&](const std::exception_ptr& failure) {
                    try {
                        std::rethrow_exception(failure);
                    } catch (const std::exception& e) {
                        failures.push_back(e.what());
                    }
                });
    EXPECT_EQ(SendMessageW(main.get(), kBreak, 0, 0), 0) << "handled";
    EXPECT_EQ(failures, std::vector<std::string>{"probe broke"});
    EXPECT_TRUE(log.contains("Main window procedure failed: probe broke", google::GLOG_ERROR));

    // Without a reaction of its own a widget reports to the window at the top of its family.
    Recorder widgetLog;
    OwnedWindow widget;
    widget.Create(main.get(), L"widgetWindowWidget", {10, 10, 60, 40}, WS_CHILD | WS_VISIBLE, 0,
                  "Widget window procedure", widgetLog.handler());
    EXPECT_EQ(SendMessageW(widget.get(), kBreak, 0, 0), 0);
    EXPECT_TRUE(Testing::PumpMessagesUntil([&] { return mainLog.saw(kWidgetFailedMessage); }, 5s));
    EXPECT_TRUE(log.contains("Widget window procedure failed: probe broke", google::GLOG_ERROR));
    EXPECT_EQ(failures.size(), 1u) << "the widget's failure is the root owner's to judge";
}

} // namespace
