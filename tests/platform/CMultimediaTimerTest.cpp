#include "platform/CMultimediaTimer.h"

#include "platform/CEvent.h"
#include "platform/CManualClock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr std::int64_t kMs = 1000000;

}  // namespace

TEST(CMultimediaTimerTest, NextDeadlineKeepsPhaseAndSkipsMissedExpiries)
{
    EXPECT_EQ(CMultimediaTimer::NextDeadline(10 * kMs, 10 * kMs + 1, kMs), 11 * kMs);   // on time
    EXPECT_EQ(CMultimediaTimer::NextDeadline(10 * kMs, 11 * kMs, kMs), 12 * kMs);       // exactly late
    // a 25.3 ms stall: no burst of 25 expiries, the next one stays on the 1 ms grid
    EXPECT_EQ(CMultimediaTimer::NextDeadline(10 * kMs, 35 * kMs + 300000, kMs), 36 * kMs);
}

// The owner's thread waits on the timer; the test moves a manual clock and counts what
// the thread saw.
TEST(CMultimediaTimerTest, ExpiresOncePerPeriodOnTheClockAndSkipsWhatAStallMissed)
{
    CManualClock clock;
    CEvent stop(true, false);
    CMultimediaTimer timer(clock);
    ASSERT_TRUE(timer.Start(1));
    EXPECT_FALSE(timer.Start(1));
    int expiries = 0;
    std::thread owner([&] {
        CEvent* events[] = {&stop};
        while (timer.Wait(events, 1) == WAIT_TIMEOUT)
            ++expiries;
    });
    ASSERT_TRUE(clock.WaitForWaiters(1));
    clock.Advance(kMs / 2);
    ASSERT_TRUE(clock.WaitForWaiters(1));
    ASSERT_TRUE(clock.Run(3, kMs / 2, 1));   // 0.5 + 1.5 ms: the first two deadlines
    clock.Advance(25 * kMs + kMs / 4);         // a stall: one expiry, not 25
    ASSERT_TRUE(clock.WaitForWaiters(1));
    ASSERT_TRUE(clock.Run(1, 3 * kMs / 4, 1));   // back on the grid: 28 ms
    stop.Set();
    owner.join();
    EXPECT_EQ(expiries, 4);
    EXPECT_EQ(timer.GetExpiryCount(), 4u);
}

TEST(CMultimediaTimerTest, AnEventEndsTheWaitAndAKilledTimerWaitsForEventsAlone)
{
    CManualClock clock;
    CEvent first(true, false), second(false, true);
    CEvent* events[] = {&first, &second};
    CMultimediaTimer timer(clock);
    timer.Start(1);
    EXPECT_EQ(timer.Wait(events, 2), WAIT_OBJECT_0 + 1);
    timer.Kill();
    EXPECT_FALSE(timer.IsRunning());
    std::thread setter([&] {
        clock.Advance(1000 * kMs);   // no expiry
        first.Set();
    });
    EXPECT_EQ(timer.Wait(events, 2), WAIT_OBJECT_0);
    setter.join();
    EXPECT_EQ(timer.GetExpiryCount(), 0u);
}

// The one real-time check: the system clock drives about a thousand expiries a second.
TEST(CMultimediaTimerTest, SmokeOnTheSystemClock)
{
    CEvent never(true, false);
    CEvent* events[] = {&never};
    CMultimediaTimer timer;
    timer.Start(1);
    const std::int64_t start = CClock::System().GetMonotonicTime();
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(timer.Wait(events, 1), WAIT_TIMEOUT);
    const std::int64_t elapsed = CClock::System().GetMonotonicTime() - start;
    EXPECT_GE(elapsed, 49 * kMs);   // never early
    EXPECT_LT(elapsed, 5000 * kMs);
}
