#include "si/CDVBEITEntry.h"

#include "si/DVBTime.h"

#include <cstdint>

void CDVBEITEntry::GetUTCStartTime(SYSTEMTIME* utc) const
{
    int year = 0, month = 0, day = 0;
    MJDToDate(m_startDate, year, month, day);
    *utc = SYSTEMTIME();
    utc->wYear = WORD(year);
    utc->wMonth = WORD(month);
    utc->wDay = WORD(day);
    utc->wHour = WORD(BCDToInt(WORD(m_startTime >> 16)));
    utc->wMinute = WORD(BCDToInt(WORD(m_startTime >> 8)));
    utc->wSecond = WORD(BCDToInt(WORD(m_startTime)));
}

void CDVBEITEntry::GetStartTime(SYSTEMTIME* local) const
{
    SYSTEMTIME utc;
    GetUTCStartTime(&utc);
    UTCToLocalTime(&utc, local);
}

DWORD CDVBEITEntry::GetDurationSeconds() const
{
    return DWORD(BCDToInt(WORD(m_duration >> 16))) * 3600 + DWORD(BCDToInt(WORD(m_duration >> 8))) * 60 +
           DWORD(BCDToInt(WORD(m_duration)));
}

void CDVBEITEntry::GetUTCStartAndEndTime(SYSTEMTIME* utcStart, SYSTEMTIME* utcEnd) const
{
    GetUTCStartTime(utcStart);
    std::uint64_t seconds = 0;
    if (!SystemTimeToSeconds(utcStart, &seconds)) {
        *utcEnd = SYSTEMTIME();   // no start, no end
        return;
    }
    SecondsToSystemTime(seconds + GetDurationSeconds(), utcEnd);
}

void CDVBEITEntry::GetStartAndEndTime(SYSTEMTIME* localStart, SYSTEMTIME* localEnd) const
{
    SYSTEMTIME utcStart, utcEnd;
    GetUTCStartAndEndTime(&utcStart, &utcEnd);
    UTCToLocalTime(&utcStart, localStart);
    UTCToLocalTime(&utcEnd, localEnd);
}

void CDVBEITEntry::GetStartDateText(CString& text) const
{
    SYSTEMTIME local;
    GetStartTime(&local);
    FormatDateText(text, &local);
}

void CDVBEITEntry::GetStartTimeText(CString& text) const
{
    SYSTEMTIME local;
    GetStartTime(&local);
    FormatTimeText(text, &local);
}

void CDVBEITEntry::GetDurationText(CString& text) const
{
    // BCD printed in hexadecimal shows its digits as decimal
    const unsigned hours = (m_duration >> 16) & 0xFF;
    const unsigned minutes = (m_duration >> 8) & 0xFF;
    if (hours == 0)
        text.Format("%x mins", minutes);
    else if (hours == 1 && minutes == 0)
        text = "1 hour";
    else if (hours == 1)
        text.Format("1 hour, %x mins", minutes);
    else if (minutes == 0)
        text.Format("%x hours", hours);
    else
        text.Format("%x hours, %x mins", hours, minutes);
}
