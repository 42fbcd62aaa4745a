// The window starts before the installer logic: what it reports before the logic exists (a failure of the
// window) must reach the logic once it is made, and must not hold the window's thread up meanwhile.
#include <thread>

#include <gtest/gtest.h>

#include "installer/SplashObserverRelay.h"
#include "splash/win/gui_tests/RecordingSplashObserver.h"

TEST(SplashObserverRelay, WhatTheWindowReportsBeforeTheLogicExistsReachesItInOrder) {
    Nolvar::SplashObserverRelay relay;
    Testing::RecordingSplashObserver logic;
    std::thread window([&relay] {
        relay.OnExit(0, "Call to GdiPlusStartup failed");
        relay.OnScreenShown(1, false);
    });
    window.join();  // returns: a report waits for the logic without waiting on the window's thread
    EXPECT_TRUE(logic.Calls().empty());

    relay.Attach(logic);
    relay.OnStartPressed();
    EXPECT_EQ(logic.Calls(), (std::vector<std::string>{"Exit 0 Call to GdiPlusStartup failed", "ScreenShown 1 no-image",
                                                       "StartPressed"}));
}
