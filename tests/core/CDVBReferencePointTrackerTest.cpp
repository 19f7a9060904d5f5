#include "core/CDVBReferencePointTracker.h"

#include "core/CDVBTiming.h"

#include <gtest/gtest.h>

TEST(CDVBReferencePointTrackerTest, MeanPointAndBitrateOfTwoPoints)
{
    CDVBReferencePointTracker tracker(50);
    std::int64_t clock = -1;
    std::uint64_t packets = 99;
    tracker.GetReferencePoint(clock, packets);
    EXPECT_EQ(clock, 0);
    EXPECT_EQ(packets, 0u);
    int bitrate = -1;
    const std::int64_t second = CDVBTiming::GetSystemClockFrequency();
    tracker.Add(1 * second, 0);
    tracker.GetBitrate(bitrate);
    EXPECT_EQ(bitrate, 0);   // one point spans no time
    tracker.Add(3 * second, 100);
    tracker.GetReferencePoint(clock, packets);
    EXPECT_EQ(clock, 2 * second);
    EXPECT_EQ(packets, 50u);
    tracker.GetBitrate(bitrate);
    EXPECT_EQ(bitrate, 75200);
}

TEST(CDVBReferencePointTrackerTest, AFullRingHoldsTheNewestPoints)
{
    CDVBReferencePointTracker tracker(50);
    for (int i = 1; i <= 60; ++i)
        tracker.Add(i * 1000, std::uint64_t(i));
    EXPECT_EQ(tracker.GetCount(), 50);
    std::int64_t clock = 0;
    std::uint64_t packets = 0;
    tracker.GetReferencePoint(clock, packets);
    // points 11..60: each term divided by 50 before summing, so the mean falls short
    std::uint64_t expectedPackets = 0;
    std::int64_t expectedClock = 0;
    for (int i = 11; i <= 60; ++i) {
        expectedPackets += std::uint64_t(i) / 50;
        expectedClock += std::int64_t(i) * 1000 / 50;
    }
    EXPECT_EQ(packets, expectedPackets);
    EXPECT_EQ(clock, expectedClock);
    tracker.Initialise();
    EXPECT_EQ(tracker.GetCount(), 0);
    tracker.GetReferencePoint(clock, packets);
    EXPECT_EQ(packets, 0u);
}
