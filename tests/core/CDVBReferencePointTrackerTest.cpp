#include "core/CDVBReferencePointTracker.h"

#include "core/CDVBTiming.h"

#include <gtest/gtest.h>

// Two points a second apart on the system clock, then a ring overfilled by ten.
TEST(CDVBReferencePointTrackerTest, MeanPointAndBitrateOverTheNewestPointsUntilInitialised)
{
    CDVBReferencePointTracker tracker(50);
    const std::int64_t second = CDVBTiming::GetSystemClockFrequency();
    std::int64_t clock = -1;
    std::uint64_t packets = 99;
    int bitrate = -1;
    tracker.Add(second, 0);
    tracker.GetBitrate(bitrate);
    EXPECT_EQ(bitrate, 0) << "one point spans no time";
    tracker.Add(3 * second, 100);
    tracker.GetReferencePoint(clock, packets);
    EXPECT_EQ(clock, 2 * second);
    EXPECT_EQ(packets, 50u);
    tracker.GetBitrate(bitrate);
    EXPECT_EQ(bitrate, 50 * 188 * 8) << "oldest point to the mean one: 50 packets in a second";
    tracker.Initialise();
    for (int i = 1; i <= 60; ++i)
        tracker.Add(i * 50000, std::uint64_t(i * 50));
    EXPECT_EQ(tracker.GetCount(), 50);
    tracker.GetReferencePoint(clock, packets);
    EXPECT_EQ(packets, 1775u) << "the mean of points 11..60, 35.5 * 50";
    EXPECT_EQ(clock, 1775000);
    tracker.Initialise();
    EXPECT_EQ(tracker.GetCount(), 0);
    tracker.GetReferencePoint(clock, packets);
    EXPECT_EQ(packets, 0u);
}
