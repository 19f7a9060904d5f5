#pragma once
// What is on now and next for one service: one entry per running status, overwritten by
// every EIT event that carries that status. Guarded by its own lock, taken after the
// owner's programs lock.
#include "model/CDVBScheduleEntry.h"
#include "platform/CCriticalSection.h"

#include <list>

class CDVBEITSection;

class CDVBSchedule
{
public:
    // Bits of GetNowAndNextInformation's result.
    static constexpr int HasNow = 1;
    static constexpr int HasNext = 2;

    CDVBSchedule() = default;
    CDVBSchedule(const CDVBSchedule&) = delete;
    CDVBSchedule& operator=(const CDVBSchedule&) = delete;
    virtual ~CDVBSchedule();

    int Update(CDVBEITSection* section);
    // Copies the running (4) event into `now` and the not-running (1) one into `next`; an
    // argument whose event is unknown keeps what it held.
    int GetNowAndNextInformation(CDVBScheduleEntry* now, CDVBScheduleEntry* next);
    // Appends to `out` a display form of event text: control and high bytes become line
    // breaks, '&' becomes '+'.
    static void ReformatDescription(const CString& in, CString& out);

protected:
    CDVBScheduleEntry* GetOrAddScheduleEntry(int runningStatus);

    std::list<CDVBScheduleEntry*> m_entries;   // owned, in order of first sight
    CCriticalSection m_lock;
};
