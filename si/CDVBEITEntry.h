#pragma once
// One event of an event information section. Start and duration stay as broadcast (MJD
// and BCD); the operations below convert them.
#include "core/CSmallBlockCache.h"
#include "platform/CString.h"
#include "platform/SystemTime.h"
#include "si/CDVBDescriptorList.h"

class CDVBEITEntry : public CSmallBlockCache::Object   // made and dropped by the thousand
{
public:
    virtual ~CDVBEITEntry() = default;

    void GetUTCStartTime(SYSTEMTIME* utc) const;
    void GetStartTime(SYSTEMTIME* local) const;
    void GetUTCStartAndEndTime(SYSTEMTIME* utcStart, SYSTEMTIME* utcEnd) const;
    // Each with the offset of its own instant: an event may span a daylight-saving change.
    void GetStartAndEndTime(SYSTEMTIME* localStart, SYSTEMTIME* localEnd) const;
    DWORD GetDurationSeconds() const;
    void GetStartDateText(CString& text) const;   // "yyyy/mm/dd", local
    void GetStartTimeText(CString& text) const;   // "hh:mm", local
    void GetDurationText(CString& text) const;    // "1 hour, 30 mins"

    WORD m_eventId = 0;
    WORD m_startDate = 0;   // MJD, UTC
    DWORD m_startTime = 0;  // BCD hh mm ss in bits 23-0
    DWORD m_duration = 0;   // BCD hh mm ss in bits 23-0
    BYTE m_runningStatus = 0;
    BYTE m_freeCaMode = 0;
    WORD m_descriptorsLoopLength = 0;
    CDVBDescriptorList m_descriptors;
};
