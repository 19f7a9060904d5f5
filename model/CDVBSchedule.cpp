#include "model/CDVBSchedule.h"

#include "platform/CSingleLock.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBShortEventDescriptor.h"

CDVBSchedule::~CDVBSchedule()
{
    CSingleLock guard(m_lock);
    for (CDVBScheduleEntry* entry : m_entries)
        delete entry;
    m_entries.clear();
}

CDVBScheduleEntry* CDVBSchedule::GetOrAddScheduleEntry(int runningStatus)
{
    for (CDVBScheduleEntry* entry : m_entries)
        if (int(entry->m_runningStatus) == runningStatus)
            return entry;
    m_entries.push_back(new CDVBScheduleEntry);
    return m_entries.back();
}

int CDVBSchedule::Update(CDVBEITSection* section)
{
    CSingleLock guard(m_lock);
    for (const CDVBEITEntry* event : section->m_entries) {
        CDVBScheduleEntry* entry = GetOrAddScheduleEntry(event->m_runningStatus);
        entry->m_serviceId = section->m_tableIdExtension;
        entry->m_transportStreamId = section->m_transportStreamId;
        entry->m_runningStatus = event->m_runningStatus;
        event->GetStartAndEndTime(&entry->m_localStartTime, &entry->m_localEndTime);
        event->GetUTCStartAndEndTime(&entry->m_utcStartTime, &entry->m_utcEndTime);
        event->GetStartDateText(entry->m_startDateText);
        event->GetStartTimeText(entry->m_startTimeText);
        event->GetDurationText(entry->m_durationText);
        // without a short event descriptor the entry keeps the name of the event before
        if (const auto* text = static_cast<const CDVBShortEventDescriptor*>(
                event->m_descriptors.FindDescriptor(CDVBShortEventDescriptor::Tag))) {
            entry->m_eventName = text->m_eventName;
            entry->m_eventText = text->m_text;
        }
    }
    return 1;
}

int CDVBSchedule::GetNowAndNextInformation(CDVBScheduleEntry* now, CDVBScheduleEntry* next)
{
    CSingleLock guard(m_lock);
    int result = 0;
    for (CDVBScheduleEntry* entry : m_entries) {
        if (entry->m_runningStatus == 4) {
            now->CopyFrom(entry);
            result |= HasNow;
        } else if (entry->m_runningStatus == 1) {
            next->CopyFrom(entry);
            result |= HasNext;
        }
    }
    return result;
}

void CDVBSchedule::ReformatDescription(const CString& in, CString& out)
{
    for (int i = 0; i < in.GetLength(); ++i) {
        const auto c = static_cast<unsigned char>(in.GetAt(i));
        if (c < 0x20 || c >= 0x7F)
            out += "\r\n";
        else if (c == '&')
            out += '+';
        else
            out += char(c);
    }
}
