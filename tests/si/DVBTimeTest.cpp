#include "si/DVBTime.h"

#include "platform/TimeZone.h"
#include "si/CDVBEITEntry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// A 13th month, a count of seconds past any year and a time of no date give defined values.
TEST(DVBTimeTest, BCDDigitsModifiedJulianDatesAndImpossibleTimes)
{
    EXPECT_EQ(BCDToInt(0x0159), 59);   // bits above the low byte are ignored
    for (const auto& [mjd, date] : {std::pair<WORD, std::vector<int>>{0xC079, {1993, 10, 13}}, {51603, {2000, 2, 29}},
                                    {51604, {2000, 3, 1}}, {60309, {2023, 12, 31}}, {60310, {2024, 1, 1}}}) {
        int year = 0, month = 0, day = 0;
        EXPECT_TRUE(MJDToDate(mjd, year, month, day));
        EXPECT_EQ(std::vector<int>({year, month, day}), date) << mjd;
    }
    CString text;
    SYSTEMTIME time{2024, 13, 0, 1};   // 1 Undecimber 2024
    std::uint64_t seconds = 1;
    EXPECT_FALSE(SystemTimeToSeconds(&time, &seconds));
    EXPECT_EQ(seconds, 0u);
    SecondsToSystemTime(~std::uint64_t(0), &time);
    EXPECT_EQ(time.wYear, 0);
    FormatIsoLocalTime(text, &time);
    EXPECT_EQ(text, "");
}

// Each instant at its own offset, on both sides of the 2026 changes (29 March and 25 October
// 01:00 UTC, Adelaide's 4 April 16:30 UTC). Expected texts checked with
// `TZ=zone date -d @seconds +%FT%T%:z`; a null zone is a fixed zone of one hour ahead.
TEST(DVBTimeTest, EachInstantGetsTheOffsetOfItsZoneAtThatInstant)
{
    struct Case { const char* zone; std::int64_t unixTime; const char* local; };
    const Case cases[] = {
        {"Europe/Rome", 1774745999, "2026-03-29T01:59:59+01:00"}, {"Europe/Rome", 1774746000, "2026-03-29T03:00:00+02:00"},
        {"Europe/Rome", 1792889999, "2026-10-25T02:59:59+02:00"}, {"Europe/Rome", 1792890000, "2026-10-25T02:00:00+01:00"},
        {"Asia/Kolkata", 1792890000, "2026-10-25T06:30:00+05:30"}, {nullptr, 1774745999, "2026-03-29T01:59:59+01:00"},
        {"Australia/Adelaide", 1775320199, "2026-04-05T02:59:59+10:30"},
        {"Australia/Adelaide", 1775320200, "2026-04-05T02:00:00+09:30"},
    };
    TIME_ZONE_INFORMATION fixed;
    fixed.Bias = -60;
    for (const Case& c : cases) {
        SetTimeZoneNameForTesting(c.zone);
        SetTimeZoneForTesting(c.zone ? nullptr : &fixed, TIME_ZONE_ID_STANDARD);
        SYSTEMTIME utc;
        SecondsToSystemTime(std::uint64_t(c.unixTime + 11644473600LL), &utc);
        CString text;
        FormatIsoLocalTime(text, &utc);   // through UTCToLocalTime
        EXPECT_EQ(text, c.local) << (c.zone ? c.zone : "fixed");
    }
    SetTimeZoneForTesting(nullptr, 0);
    SetTimeZoneNameForTesting(nullptr);
}

// An event's local start and end, one hour ahead (two in daylight time), from its UTC date, BCD
// start and BCD duration; digits that are not BCD and a date before 1601 give some defined time.
TEST(CDVBEITEntryTest, LocalTimesAndDurations)
{
    struct Case { bool daylight; WORD mjd; DWORD start, duration; const char *localStart, *localEnd, *durationText; };
    const Case cases[] = {
        {false, 53201, 0x124500, 0x013000, "2004/07/15 13:45", "2004/07/15 15:15", "1 hour, 30 mins"},
        {false, 60309, 0x233000, 0x010000, "2024/01/01 00:30", "2024/01/01 01:30", "1 hour"},   // next year, here
        {false, 53201, 0x124500, 0x000000, "2004/07/15 13:45", "2004/07/15 13:45", "0 mins"},
        {false, 53201, 0x120000, 0x021500, "2004/07/15 13:00", "2004/07/15 15:15", "2 hours, 15 mins"},
        {false, 53201, 0x120000, 0x250000, "2004/07/15 13:00", "2004/07/16 14:00", "25 hours"},
        {true, 53201, 0x124500, 0x000000, "2004/07/15 14:45", "2004/07/15 14:45", "0 mins"},
        {false, 0, 0xFFFFFF, 0xFFFFFF, "00/00/00 00:00", nullptr, nullptr},
    };
    TIME_ZONE_INFORMATION zone;
    zone.Bias = -60;
    zone.DaylightBias = -60;
    for (const Case& c : cases) {
        SetTimeZoneForTesting(&zone, c.daylight ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD);
        CDVBEITEntry event;
        event.m_startDate = c.mjd;
        event.m_startTime = c.start;
        event.m_duration = c.duration;
        SYSTEMTIME start, end;
        event.GetStartAndEndTime(&start, &end);
        CString date, clock, endDate, endClock, duration;
        event.GetStartDateText(date);
        event.GetStartTimeText(clock);
        event.GetDurationText(duration);
        FormatDateText(endDate, &end);
        FormatTimeText(endClock, &end);
        EXPECT_EQ(std::string(date.Str()) + " " + clock.Str(), c.localStart);
        if (c.localEnd) {
            EXPECT_EQ(std::string(endDate.Str()) + " " + endClock.Str(), c.localEnd) << c.localStart;
            EXPECT_EQ(duration, c.durationText) << c.localStart;
        }
    }
    SetTimeZoneForTesting(nullptr, 0);
}
