#include "core/CDVBTiming.h"

#include <gtest/gtest.h>

TEST(CDVBTimingTest, ClockTextsAt90kHz)
{
    CString text;
    ClockToString(0, text);
    EXPECT_EQ(text, "000:00:00:00.000");
    ClockToString(8589934591LL, text);   // the largest PCR base
    EXPECT_EQ(text, "001:02:30:43.717");
    ClockToString(-90000, text);
    EXPECT_EQ(text, "-000:00:00:01.000");
}

TEST(CDVBTimingTest, ClockTextsAtOtherFrequencies)
{
    CString text;
    CDVBTiming::ClockToString(1000, 3723004, text);
    EXPECT_EQ(text, "000:01:02:03.004");
    CDVBTiming::ClockToString(1000000000, 86400LL * 1000000000 * 400, text);
    EXPECT_EQ(text, "400:00:00:00.000");   // days are not reduced
    CDVBTiming::ClockToString(100, 150, text);   // slower than 1 kHz: scaled, no division by 0
    EXPECT_EQ(text, "000:00:00:01.500");
    CDVBTiming::ClockToString(0, 150, text);
    EXPECT_EQ(text, "000:00:00:00.000");
}

