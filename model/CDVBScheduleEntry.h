#pragma once
// What a schedule knows of one event, with ready-made texts for display and export.
#include "platform/CString.h"
#include "platform/SystemTime.h"

class CDVBScheduleEntry
{
public:
    CDVBScheduleEntry() = default;
    CDVBScheduleEntry(const CDVBScheduleEntry&) = default;
    CDVBScheduleEntry& operator=(const CDVBScheduleEntry&) = default;
    virtual ~CDVBScheduleEntry() = default;

    void CopyFrom(CDVBScheduleEntry* other) { *this = *other; }

    WORD m_serviceId = 0xFFFF;
    WORD m_transportStreamId = 0xFFFF;
    BYTE m_runningStatus = 0xFF;   // the entry's key within its schedule
    CString m_startDateText;       // local, "yyyy/mm/dd"
    CString m_startTimeText;       // local, "hh:mm"
    CString m_durationText;
    CString m_eventName;           // as broadcast
    CString m_eventText;           // as broadcast
    SYSTEMTIME m_localStartTime;
    SYSTEMTIME m_localEndTime;
    SYSTEMTIME m_utcStartTime;     // the same instants in UTC, from which each local
    SYSTEMTIME m_utcEndTime;       // time and its offset are derived
};
