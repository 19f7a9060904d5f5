#include "platform/CMultimediaTimer.h"

#include "platform/CEvent.h"
#include "platform/CManualClock.h"

#include <gtest/gtest.h>

#include <thread>

constexpr std::int64_t kMs = 1000000;

// The owner's thread waits; the test moves a manual clock and counts the expiries, a stall
// included. An event ends a wait; a killed timer waits for events alone.
TEST(CMultimediaTimerTest, ExpiresOncePerPeriodOnTheClockUntilAnEventOrAKill)
{
    CManualClock clock;
    CEvent stop(true, false), pending(false, true);
    CEvent* events[] = {&stop, &pending};
    CMultimediaTimer timer(clock);
    ASSERT_TRUE(timer.Start(1));
    EXPECT_FALSE(timer.Start(1));
    EXPECT_EQ(timer.Wait(events, 2), WAIT_OBJECT_0 + 1) << "a set event ends the wait";
    int expiries = 0;
    std::thread owner([&] {
        while (timer.Wait(events, 1) == WAIT_TIMEOUT)
            ++expiries;
    });
    ASSERT_TRUE(clock.WaitForWaiters(1));
    ASSERT_TRUE(clock.Run(4, kMs / 2, 1));   // 2 ms in halves: the first two deadlines
    clock.Advance(25 * kMs + kMs / 4);         // a stall: one expiry, not 25
    ASSERT_TRUE(clock.WaitForWaiters(1));
    ASSERT_TRUE(clock.Run(1, 3 * kMs / 4, 1));   // back on the grid: 28 ms
    stop.Set();
    owner.join();
    EXPECT_EQ(expiries, 4);

    stop.Reset();
    timer.Kill();
    std::thread setter([&] {
        clock.Advance(1000 * kMs);   // no expiry
        stop.Set();
    });
    EXPECT_EQ(timer.Wait(events, 2), WAIT_OBJECT_0) << "a killed timer";
    setter.join();
}

