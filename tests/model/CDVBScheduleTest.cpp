#include "model/CDVBSchedule.h"

#include "platform/TimeZone.h"
#include "si/CDVBEITSection.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

// An EIT present/following section of one event; no name when `name` is empty.
std::unique_ptr<CDVBEITSection> Event(BYTE sectionNumber, BYTE runningStatus, const std::string& name,
                                      DWORD start = 0x120000, WORD mjd = 0xCFD1, DWORD duration = 0x003000)
{
    Bytes event = B::EITEvent(0x10, mjd, start, duration,
                              name.empty() ? Bytes{} : B::ShortEventDescriptor("eng", name, name + " text"));
    event[10] = BYTE((runningStatus << 5) | (event[10] & 0x1F));
    return ParseSection<CDVBEITSection>(B::Long(0x4E, 7, 0, sectionNumber, 1, B::EITBody(0x1004, 1, event)));
}

}  // namespace

TEST(CDVBScheduleTest, PresentAndFollowingByRunningStatus)
{
    CDVBSchedule schedule, undefined, soon;
    CDVBScheduleEntry now, next;
    now.m_eventName = "kept";
    EXPECT_EQ(schedule.GetNowAndNextInformation(&now, &next), 0);   // nothing seen: both left alone
    EXPECT_EQ(now.m_eventName, "kept");
    schedule.Update(Event(0, 4, "News").get());
    schedule.Update(Event(1, 1, "Weather", 0x123000).get());
    EXPECT_EQ(schedule.GetNowAndNextInformation(&now, &next), CDVBSchedule::HasNow | CDVBSchedule::HasNext);
    EXPECT_EQ(now.m_eventText, "News text");
    EXPECT_EQ(next.m_eventName, "Weather");
    // only running and not running are reported; "starts in a few seconds" is kept, not reported
    undefined.Update(Event(0, 4, "Now").get());
    undefined.Update(Event(1, 0, "Undefined").get());
    EXPECT_EQ(undefined.GetNowAndNextInformation(&now, &next), CDVBSchedule::HasNow);
    EXPECT_EQ(next.m_eventName, "Weather");   // left alone
    soon.Update(Event(0, 2, "Film").get());
    EXPECT_EQ(soon.GetNowAndNextInformation(&now, &next), 0);
    soon.Update(Event(0, 4, "Film").get());   // running later makes a second entry
    EXPECT_EQ(soon.GetNowAndNextInformation(&now, &next), CDVBSchedule::HasNow);
    EXPECT_EQ(now.m_eventName, "Film");
}

TEST(CDVBScheduleTest, AnEventWithoutANameKeepsTheNameBeforeIt)
{
    CDVBSchedule schedule;
    CDVBScheduleEntry before, now, next;
    schedule.Update(Event(0, 4, "News").get());
    schedule.GetNowAndNextInformation(&before, &next);
    schedule.Update(Event(0, 4, "", 0x130000).get());
    schedule.GetNowAndNextInformation(&now, &next);
    EXPECT_EQ(std::string(now.m_eventName.Str()) + "/" + now.m_eventText.Str(), "News/News text");
    EXPECT_EQ((now.m_localStartTime.wHour + 24 - before.m_localStartTime.wHour) % 24, 1);   // the new event's time
}

// An hour that ends after the clocks go back: both ends read 02:30, each at its own offset.
TEST(CDVBScheduleTest, AnEventAcrossADaylightSavingChangeEndsAtItsOwnOffset)
{
    SetTimeZoneNameForTesting("Europe/Rome");
    CDVBSchedule schedule;
    schedule.Update(Event(0, 4, "", 0x003000, 61338, 0x010000).get());
    CDVBScheduleEntry now, next;
    EXPECT_EQ(schedule.GetNowAndNextInformation(&now, &next), CDVBSchedule::HasNow);
    SetTimeZoneNameForTesting(nullptr);
    const SYSTEMTIME &start = now.m_localStartTime, &end = now.m_localEndTime;
    EXPECT_EQ(std::vector<int>({start.wHour, start.wMinute, end.wHour, end.wMinute}), (std::vector<int>{2, 30, 2, 30}));
}

TEST(CDVBScheduleTest, ReformatDescriptionMakesDisplayLines)
{
    CString out;
    CDVBSchedule::ReformatDescription(CString("A&B\x8A" "C"), out);
    EXPECT_EQ(out, "A+B\r\nC");
    CDVBSchedule::ReformatDescription(CString("\xE9"), out);   // appends
    EXPECT_EQ(out, "A+B\r\nC\r\n");
    out = "";
    CDVBSchedule::ReformatDescription(CString("\x7F~ \x1F"), out);
    EXPECT_EQ(out, "\r\n~ \r\n");
}
