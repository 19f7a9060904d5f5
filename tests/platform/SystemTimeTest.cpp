#include "platform/SystemTime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Known file times, then a round trip that also works out the day of the week (third field).
TEST(SystemTimeTest, KnownInstantsRoundTripWithTheirFileTimesAndDaysOfTheWeek)
{
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ULL, kAny = ~0ULL;
    struct Case { SYSTEMTIME date; std::uint64_t ticks; };
    for (const Case& c : {Case{{1601, 1, 1, 1}, 0}, Case{{1970, 1, 4, 1}, kUnixEpoch},
                          // 951827696 seconds after 1970, plus the milliseconds
                          Case{{2000, 2, 2, 29, 12, 34, 56, 789}, kUnixEpoch + 951827696ULL * 10000000 + 7890000},
                          Case{{1993, 10, 3, 13, 12, 45}, kAny}, Case{{1900, 3, 4, 1}, kAny},   // no 29 Feb 1900
                          Case{{2024, 12, 2, 31, 23, 59, 59, 999}, kAny}, Case{{30827, 12, 5, 31}, kAny}}) {
        auto fields = [](const SYSTEMTIME& t) {
            return std::vector<WORD>{t.wYear, t.wMonth, t.wDayOfWeek, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
        };
        FILETIME ft;
        SYSTEMTIME back;
        ASSERT_TRUE(SystemTimeToFileTime(&c.date, &ft)) << c.date.wYear;
        const std::uint64_t ticks = (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        EXPECT_TRUE(c.ticks == kAny || ticks == c.ticks) << c.date.wYear << ": " << ticks;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        EXPECT_EQ(fields(back), fields(c.date));
    }
}

TEST(SystemTimeTest, RejectsWhatNoCalendarHoldsAndLeavesTheOutputAlone)
{
    for (const SYSTEMTIME& st : {SYSTEMTIME{2023, 0, 0, 1}, SYSTEMTIME{2023, 13, 0, 1}, SYSTEMTIME{2023, 2, 0, 29},
                                 SYSTEMTIME{2024, 4, 0, 31}, SYSTEMTIME{2024, 1, 0, 0}, SYSTEMTIME{1600, 12, 0, 31},
                                 SYSTEMTIME{2024, 1, 0, 1, 24}, SYSTEMTIME{2024, 1, 0, 1, 0, 60},
                                 SYSTEMTIME{2024, 1, 0, 1, 0, 0, 60}, SYSTEMTIME{2024, 1, 0, 1, 0, 0, 0, 1000}}) {
        FILETIME ft{0x12345678, 0};
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << "-" << st.wMonth << "-" << st.wDay << "T" << st.wHour;
        EXPECT_EQ(ft.dwLowDateTime, 0x12345678u);
    }
    FILETIME huge{0, 0x80000000};
    SYSTEMTIME out{1};
    EXPECT_FALSE(FileTimeToSystemTime(&huge, &out));
    EXPECT_EQ(out.wYear, 1);
}
