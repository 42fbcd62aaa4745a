// The close button's delay: only the latest delay makes the button usable, each new button starts it again, and
// the logic's hiding wins over it.
#include "splash/win/CloseButtonDelay.h"

#include <chrono>
#include <future>
#include <utility>

#include <gtest/gtest.h>

using namespace Nolvar;
using namespace std::chrono_literals;

TEST(CloseButtonDelay, TheLatestDelayAloneMakesTheButtonUsableUnlessItIsHidden) {
    EXPECT_EQ(kCloseButtonDelayMs, 10000);
    std::promise<unsigned> over;
    CloseButtonDelay delay(20);
    delay.Restart([](unsigned) {});
    delay.Restart([&over, told = false](unsigned generation) mutable {
        if (!std::exchange(told, true)) over.set_value(generation);
    });
    std::future<unsigned> notice = over.get_future();
    ASSERT_EQ(notice.wait_for(10s), std::future_status::ready);
    const unsigned latest = notice.get();
    EXPECT_FALSE(delay.Over(latest - 1)) << "the delay of a button made before";
    EXPECT_FALSE(delay.usable());
    EXPECT_TRUE(delay.Over(latest));
    EXPECT_TRUE(delay.usable());

    delay.Restart([](unsigned) {});
    EXPECT_FALSE(delay.usable()) << "a button made again waits again";
    delay.SetHidden(true);
    EXPECT_FALSE(delay.Over(latest + 1)) << "over while hidden: not usable yet";
    delay.SetHidden(false);
    EXPECT_TRUE(delay.usable());
}
