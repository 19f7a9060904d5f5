#include "si/DVBTime.h"

#include "platform/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdint>

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

// Each instant at its own offset, on both sides of the 2026 changes (29 March and 25 October
// 01:00 UTC, Adelaide's 4 April 16:30 UTC). Expected texts checked with
// `TZ=zone date -d @seconds +%FT%T%:z`; a null zone is the fixed test zone of one hour ahead.
TEST(DVBTimeTest, EachInstantGetsTheOffsetOfItsZoneAtThatInstant)
{
    struct Case
    {
        const char* zone;
        std::int64_t unixTime;
        const char* local;
    };
    const Case cases[] = {
        {"Europe/Rome", 1774745999, "2026-03-29T01:59:59+01:00"},
        {"Europe/Rome", 1774746000, "2026-03-29T03:00:00+02:00"},
        {"Europe/Rome", 1792889999, "2026-10-25T02:59:59+02:00"},
        {"Europe/Rome", 1792890000, "2026-10-25T02:00:00+01:00"},
        {"Europe/Paris", 1774746000, "2026-03-29T03:00:00+02:00"},
        {"Europe/Paris", 1792890000, "2026-10-25T02:00:00+01:00"},
        {"UTC", 1774746000, "2026-03-29T01:00:00+00:00"},
        {"Asia/Kolkata", 1792890000, "2026-10-25T06:30:00+05:30"},
        {"Australia/Adelaide", 1775320199, "2026-04-05T02:59:59+10:30"},
        {"Australia/Adelaide", 1775320200, "2026-04-05T02:00:00+09:30"},
        {nullptr, 1774745999, "2026-03-29T01:59:59+01:00"},
        {nullptr, 1792889999, "2026-10-25T01:59:59+01:00"},
    };
    TIME_ZONE_INFORMATION oneHourAhead;
    oneHourAhead.Bias = -60;
    for (const Case& c : cases) {
        SetTimeZoneNameForTesting(c.zone);
        SetTimeZoneForTesting(c.zone ? nullptr : &oneHourAhead, TIME_ZONE_ID_STANDARD);
        SYSTEMTIME utc;
        SecondsToSystemTime(std::uint64_t(c.unixTime + 11644473600LL), &utc);
        CString text;
        FormatIsoLocalTime(text, &utc);   // through UTCToLocalTime
        EXPECT_EQ(text, c.local) << (c.zone ? c.zone : "fixed");
    }
    SetTimeZoneForTesting(nullptr, 0);
    SetTimeZoneNameForTesting(nullptr);
    SYSTEMTIME nonsense;
    CString text = "kept?";
    FormatIsoLocalTime(text, &nonsense);
    EXPECT_EQ(text, "");
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
