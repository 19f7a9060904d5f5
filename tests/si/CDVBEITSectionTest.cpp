#include "si/CDVBEITSection.h"

#include "platform/TimeZone.h"
#include "si/CDVBShortEventDescriptor.h"
#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

constexpr WORD k15July2004 = 0xCFD1;

Bytes Eit(const Bytes& events, BYTE sectionNumber = 0)
{
    return B::Long(0x4E, 0x1041, 3, sectionNumber, 1, B::EITBody(0x1004, 0x233A, events));
}

// A zone one hour ahead of UTC, daylight time not in force, for the life of a test.
class COneHourAheadTest : public ::testing::Test
{
protected:
    COneHourAheadTest()
    {
        TIME_ZONE_INFORMATION zone;
        zone.Bias = -60;
        zone.DaylightBias = -60;
        SetTimeZoneForTesting(&zone, TIME_ZONE_ID_STANDARD);
    }
    ~COneHourAheadTest() override { SetTimeZoneForTesting(nullptr, 0); }
};

std::unique_ptr<CDVBEITSection> OneEvent(DWORD startBcd, DWORD durationBcd)
{
    return ParseSection<CDVBEITSection>(
        Eit(B::EITEvent(0x0101, k15July2004, startBcd, durationBcd, B::ShortEventDescriptor("eng", "News", ""))));
}

}  // namespace

TEST(CDVBEITSectionTest, EventsWithTheirFields)
{
    auto eit = ParseSection<CDVBEITSection>(
        Eit(B::Cat({B::EITEvent(1, k15July2004, 0x124500, 0x013000, B::ShortEventDescriptor("eng", "News", "Today")),
                    B::EITEvent(2, k15July2004, 0x141500, 0x004500, {})}),
            1));
    ASSERT_NE(eit, nullptr);
    EXPECT_EQ(eit->m_tableIdExtension, 0x1041);
    EXPECT_EQ(eit->m_sectionNumber, 1);
    EXPECT_EQ(eit->m_transportStreamId, 0x1004);
    EXPECT_EQ(eit->m_originalNetworkId, 0x233A);
    EXPECT_EQ(eit->m_lastTableId, 0x4E);
    ASSERT_EQ(eit->m_entries.size(), 2u);
    const CDVBEITEntry* first = eit->m_entries.front();
    EXPECT_EQ(first->m_startDate, k15July2004);
    EXPECT_EQ(first->m_startTime, 0x124500u);
    EXPECT_EQ(first->m_duration, 0x013000u);
    EXPECT_EQ(first->m_runningStatus, 4);
    auto* name = static_cast<CDVBShortEventDescriptor*>(first->m_descriptors.FindDescriptor(0x4D));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->m_eventName, "News");
    EXPECT_EQ(eit->m_entries.back()->m_eventId, 2);
}

TEST(CDVBEITSectionTest, EmptySectionsStrayBytesAndLyingLoops)
{
    auto empty = ParseSection<CDVBEITSection>(Eit({}));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->m_entries.empty());
    auto stray = ParseSection<CDVBEITSection>(Eit(B::Cat({B::EITEvent(1, 1, 0, 0, {}), Bytes(11, 0xEE)})));
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(stray->m_entries.size(), 1u);
    Bytes lying = B::Cat({B::EITEvent(1, 1, 0, 0, {}), B::EITEvent(2, 1, 0, 0, {})});
    lying[12 + 11] = 5;   // the second event's loop: 5 bytes, none there
    EXPECT_EQ(ParseSection<CDVBEITSection>(Eit(lying)), nullptr);
    EXPECT_EQ(ParseSection<CDVBEITSection>(B::Long(0x4E, 1, 0, 0, 0, {0, 1, 0, 2, 0})), nullptr);
}

TEST_F(COneHourAheadTest, LocalStartEndAndTexts)
{
    auto eit = OneEvent(0x124500, 0x013000);
    const CDVBEITEntry* event = eit->m_entries.front();
    CString text;
    event->GetStartTimeText(text);
    EXPECT_EQ(text, "13:45");
    event->GetStartDateText(text);
    EXPECT_EQ(text, "2004/07/15");
    event->GetDurationText(text);
    EXPECT_EQ(text, "1 hour, 30 mins");
    EXPECT_EQ(event->GetDurationSeconds(), 5400u);
    SYSTEMTIME start, end, utc;
    event->GetUTCStartTime(&utc);
    EXPECT_EQ(utc.wHour, 12);
    event->GetStartAndEndTime(&start, &end);
    EXPECT_EQ(start.wHour, 13);
    EXPECT_EQ(end.wHour, 15);
    EXPECT_EQ(end.wMinute, 15);
}

TEST_F(COneHourAheadTest, AnEventLateInTheDayEndsTomorrow)
{
    auto eit = OneEvent(0x233000, 0x010000);
    SYSTEMTIME start, end;
    eit->m_entries.front()->GetStartAndEndTime(&start, &end);
    EXPECT_EQ(start.wDay, 16);
    EXPECT_EQ(start.wHour, 0);
    EXPECT_EQ(end.wHour, 1);
    EXPECT_EQ(end.wMonth, 7);
}

TEST(CDVBEITEntryTest, DurationTexts)
{
    struct Case
    {
        DWORD bcd;
        const char* text;
    };
    const Case cases[] = {{0x000000, "0 mins"},  {0x004500, "45 mins"},        {0x010000, "1 hour"},
                          {0x013000, "1 hour, 30 mins"}, {0x020000, "2 hours"}, {0x250000, "25 hours"},
                          {0x021500, "2 hours, 15 mins"}};
    for (const Case& c : cases) {
        CDVBEITEntry event;
        event.m_duration = c.bcd;
        CString text;
        event.GetDurationText(text);
        EXPECT_EQ(text, c.text) << std::hex << c.bcd;
    }
}

TEST(CDVBEITEntryTest, ZeroDurationEndsWhereItStartsAndNonsenseStaysDefined)
{
    CDVBEITEntry event;
    event.m_startDate = k15July2004;
    event.m_startTime = 0x124500;
    SYSTEMTIME start, end;
    event.GetStartAndEndTime(&start, &end);
    EXPECT_EQ(start.wHour, end.wHour);
    EXPECT_EQ(start.wMinute, end.wMinute);
    EXPECT_EQ(start.wDay, end.wDay);

    // digits that are not BCD and a date before 1601: some defined time, never garbage
    event.m_startDate = 0;
    event.m_startTime = 0xFFFFFF;
    event.m_duration = 0xFFFFFF;
    event.GetStartAndEndTime(&start, &end);
    EXPECT_EQ(start.wMonth, 0);
    CString text;
    event.GetStartTimeText(text);
    EXPECT_EQ(text, "00:00");
}
