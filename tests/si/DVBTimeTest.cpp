#include "si/DVBTime.h"

#include "platform/TimeZone.h"

#include <gtest/gtest.h>

TEST(DVBTimeTest, BCDDigits)
{
    EXPECT_EQ(BCDToInt(0x59), 59);
    EXPECT_EQ(BCDToInt(0x0123), 23);   // bits above the low byte are ignored
    EXPECT_EQ(BCDToInt(0x00), 0);
}

TEST(DVBTimeTest, ModifiedJulianDates)
{
    struct Case
    {
        WORD mjd;
        int year, month, day;
    };
    const Case cases[] = {{0xC079, 1993, 10, 13}, {53201, 2004, 7, 15}, {51603, 2000, 2, 29},
                          {51604, 2000, 3, 1},     {60309, 2023, 12, 31}, {60310, 2024, 1, 1}};
    for (const Case& c : cases) {
        int year = 0, month = 0, day = 0;
        EXPECT_TRUE(MJDToDate(c.mjd, year, month, day));
        EXPECT_EQ(year, c.year) << c.mjd;
        EXPECT_EQ(month, c.month) << c.mjd;
        EXPECT_EQ(day, c.day) << c.mjd;
    }
    CString text;
    MJDToDateText(53201, text);
    EXPECT_EQ(text, "15/07/2004");
}

TEST(DVBTimeTest, UTCToLocalCrossesTheYearInAZoneAhead)
{
    TIME_ZONE_INFORMATION zone;
    zone.Bias = -60;
    zone.DaylightBias = -60;
    SetTimeZoneForTesting(&zone, TIME_ZONE_ID_STANDARD);
    SYSTEMTIME utc;
    utc.wYear = 2023;
    utc.wMonth = 12;
    utc.wDay = 31;
    utc.wHour = 23;
    utc.wMinute = 30;
    SYSTEMTIME local;
    UTCToLocalTime(&utc, &local);
    EXPECT_EQ(local.wYear, 2024);
    EXPECT_EQ(local.wMonth, 1);
    EXPECT_EQ(local.wDay, 1);
    EXPECT_EQ(local.wHour, 0);
    EXPECT_EQ(local.wMinute, 30);

    // daylight time in force adds its bias
    SetTimeZoneForTesting(&zone, TIME_ZONE_ID_DAYLIGHT);
    UTCToLocalTime(&utc, &local);
    EXPECT_EQ(local.wHour, 1);
    SetTimeZoneForTesting(nullptr, 0);

    CString text;
    FormatDateText(text, &local);
    EXPECT_EQ(text, "2024/01/01");
    FormatTimeText(text, &local);
    EXPECT_EQ(text, "01:30");
}

TEST(DVBTimeTest, SecondsRoundTripAndOutOfRangeIsDefined)
{
    SYSTEMTIME time;
    time.wYear = 2004;
    time.wMonth = 7;
    time.wDay = 15;
    time.wHour = 12;
    std::uint64_t seconds = 0;
    SystemTimeToSeconds(&time, &seconds);
    SYSTEMTIME back;
    SecondsToSystemTime(seconds + 90, &back);
    EXPECT_EQ(back.wMinute, 1);
    EXPECT_EQ(back.wSecond, 30);
    EXPECT_EQ(back.wDayOfWeek, 4);   // a Thursday

    SYSTEMTIME nonsense;
    nonsense.wMonth = 13;
    EXPECT_FALSE(SystemTimeToSeconds(&nonsense, &seconds));
    EXPECT_EQ(seconds, 0u);
    SecondsToSystemTime(~std::uint64_t(0), &back);
    EXPECT_EQ(back.wYear, 0);
    EXPECT_EQ(back.wMonth, 0);
}
