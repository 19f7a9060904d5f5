#include "platform/CMultimediaTimer.h"

#include "platform/MonotonicClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

TEST(CMultimediaTimerTest, NextDeadlineKeepsPhaseAndSkipsMissedExpiries)
{
    const std::int64_t ms = 1000000;
    EXPECT_EQ(CMultimediaTimer::NextDeadline(10 * ms, 10 * ms + 1, ms), 11 * ms);   // on time
    EXPECT_EQ(CMultimediaTimer::NextDeadline(10 * ms, 11 * ms, ms), 12 * ms);       // exactly late
    // a 25.3 ms stall: no burst of 25 pulses, the next expiry stays on the 1 ms grid
    EXPECT_EQ(CMultimediaTimer::NextDeadline(10 * ms, 35 * ms + 300000, ms), 36 * ms);
}

TEST(CMultimediaTimerTest, PulsesTheEventAboutAThousandTimesASecond)
{
    CEvent tick(false, false);
    CMultimediaTimer timer;
    ASSERT_TRUE(timer.Start(1, &tick));
    EXPECT_FALSE(timer.Start(1, &tick));
    ASSERT_EQ(tick.Wait(10000), WAIT_OBJECT_0);   // a pulse reaches a waiting thread
    const std::int64_t start = MonotonicNanoseconds();
    const std::uint64_t first = timer.GetExpiryCount();
    // A rate is measured over a stretch of time; nothing here waits for a thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const double seconds = double(MonotonicNanoseconds() - start) / 1e9;
    const double rate = double(timer.GetExpiryCount() - first) / seconds;
    timer.Kill();
    EXPECT_GT(rate, 500.0);   // generous: sanitizer builds on a loaded machine run slow
    EXPECT_LT(rate, 1010.0);
}

TEST(CMultimediaTimerTest, NoPulseAfterKill)
{
    CEvent tick(false, false);
    CMultimediaTimer timer;
    ASSERT_TRUE(timer.Start(1, &tick));
    timer.Kill();
    EXPECT_FALSE(timer.IsRunning());
    const std::uint64_t count = timer.GetExpiryCount();
    EXPECT_EQ(tick.Wait(20), WAIT_TIMEOUT);
    EXPECT_EQ(timer.GetExpiryCount(), count);
    EXPECT_TRUE(timer.Start(1, &tick));   // and it can run again
}
