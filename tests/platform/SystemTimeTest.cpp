#include "platform/SystemTime.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint64_t Ticks(const FILETIME& ft)
{
    return (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

SYSTEMTIME Date(WORD y, WORD mo, WORD d, WORD h = 0, WORD mi = 0, WORD s = 0, WORD ms = 0)
{
    SYSTEMTIME st;
    st.wYear = y;
    st.wMonth = mo;
    st.wDay = d;
    st.wHour = h;
    st.wMinute = mi;
    st.wSecond = s;
    st.wMilliseconds = ms;
    return st;
}

}  // namespace

TEST(SystemTimeTest, KnownInstantsHaveTheirFileTimes)
{
    FILETIME ft;
    SYSTEMTIME epoch1601 = Date(1601, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&epoch1601, &ft));
    EXPECT_EQ(Ticks(ft), 0u);
    SYSTEMTIME unixEpoch = Date(1970, 1, 1);
    ASSERT_TRUE(SystemTimeToFileTime(&unixEpoch, &ft));
    EXPECT_EQ(Ticks(ft), 116444736000000000ULL);
    SYSTEMTIME leapDay = Date(2000, 2, 29, 12, 34, 56, 789);
    ASSERT_TRUE(SystemTimeToFileTime(&leapDay, &ft));
    // 951827696 seconds after 1970, plus the milliseconds
    EXPECT_EQ(Ticks(ft), 116444736000000000ULL + 951827696ULL * 10000000ULL + 7890000ULL);
}

TEST(SystemTimeTest, RoundTripsAndComputesTheDayOfWeek)
{
    struct Case
    {
        SYSTEMTIME date;
        WORD dayOfWeek;
    };
    const Case cases[] = {
        {Date(1601, 1, 1), 1},                  // Monday
        {Date(1993, 10, 13, 12, 45), 3},        // Wednesday
        {Date(1900, 3, 1), 4},                  // no 29 February in 1900
        {Date(2024, 12, 31, 23, 59, 59, 999), 2},
        {Date(30827, 12, 31), 5},
    };
    for (const Case& c : cases) {
        FILETIME ft;
        SYSTEMTIME back;
        ASSERT_TRUE(SystemTimeToFileTime(&c.date, &ft)) << c.date.wYear;
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
        EXPECT_EQ(back.wYear, c.date.wYear);
        EXPECT_EQ(back.wMonth, c.date.wMonth);
        EXPECT_EQ(back.wDay, c.date.wDay);
        EXPECT_EQ(back.wHour, c.date.wHour);
        EXPECT_EQ(back.wMinute, c.date.wMinute);
        EXPECT_EQ(back.wSecond, c.date.wSecond);
        EXPECT_EQ(back.wMilliseconds, c.date.wMilliseconds);
        EXPECT_EQ(back.wDayOfWeek, c.dayOfWeek) << c.date.wYear;
    }
}

TEST(SystemTimeTest, RejectsWhatNoCalendarHoldsAndLeavesTheOutputAlone)
{
    const SYSTEMTIME bad[] = {Date(2023, 0, 1), Date(2023, 13, 1), Date(2023, 2, 29),
                              Date(2024, 4, 31), Date(2024, 1, 0),  Date(1600, 12, 31),
                              Date(2024, 1, 1, 24), Date(2024, 1, 1, 0, 60),
                              Date(2024, 1, 1, 0, 0, 60), Date(2024, 1, 1, 0, 0, 0, 1000)};
    for (const SYSTEMTIME& st : bad) {
        FILETIME ft;
        ft.dwLowDateTime = 0x12345678;
        EXPECT_FALSE(SystemTimeToFileTime(&st, &ft)) << st.wYear << "-" << st.wMonth << "-" << st.wDay;
        EXPECT_EQ(ft.dwLowDateTime, 0x12345678u);
    }
    FILETIME huge;
    huge.dwHighDateTime = 0x80000000;
    SYSTEMTIME out = Date(1, 2, 3);
    EXPECT_FALSE(FileTimeToSystemTime(&huge, &out));
    EXPECT_EQ(out.wYear, 1);
}
