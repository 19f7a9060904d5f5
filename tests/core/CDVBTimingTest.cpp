#include "core/CDVBTiming.h"

#include <gtest/gtest.h>

TEST(CDVBTimingTest, ClockTextsAtAnyFrequency)
{
    struct Case { std::int64_t frequency, value; const char* text; };
    for (const Case& c : {Case{90000, 8589934591LL, "001:02:30:43.717"},   // the largest PCR base
                          Case{90000, -90000, "-000:00:00:01.000"}, Case{1000, 3723004, "000:01:02:03.004"},
                          Case{1000000000, 86400LL * 1000000000 * 400, "400:00:00:00.000"},   // days not reduced
                          Case{100, 150, "000:00:00:01.500"},   // slower than 1 kHz: scaled, no division by 0
                          Case{0, 150, "000:00:00:00.000"}}) {
        CString text;
        CDVBTiming::ClockToString(c.frequency, c.value, text);
        EXPECT_EQ(text, c.text) << c.frequency << " Hz";
    }
}
