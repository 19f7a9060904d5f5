#pragma once
// Gathers service information across tunings and transport streams into a model of its
// own, every program and every transport stream it has heard of, and writes it with each
// service's present and following event to "epg/epg.xml" (relative to the current
// directory), at most every five seconds while updates are enabled and something new
// arrived. An application attaches it to a receiver (SetSICollector), which passes it
// every section after handling it, as to any table listener, and calls OnEverySecond;
// the receiver does not own it.
//
// Locks: m_programsLock guards the programs, m_transportStreamsLock the transport
// streams; never both at once. A program's schedule lock is taken inside m_programsLock.
#include "model/CDVBProgramList.h"
#include "model/CDVBProgramListUpdater.h"
#include "model/CDVBTransportStreamList.h"
#include "platform/CCriticalSection.h"
#include "platform/CString.h"
#include "platform/LUMTypes.h"
#include "si/CDVBTableListener.h"

#include <atomic>
#include <cstdio>

class CDVBEITSection;
class CDVBNITSection;
class CDVBPATSection;
class CDVBPMTSection;
class CDVBScheduleEntry;
class CDVBSDTSection;
class CDVBTDTSection;
class CDVBTOTSection;

class CDVBSICollector : public CDVBTableListener
{
public:
    static constexpr const char* FileName = "epg/epg.xml";

    // Writes the file of an empty model at once, if the folder "epg" exists.
    CDVBSICollector();
    CDVBSICollector(const CDVBSICollector&) = delete;
    CDVBSICollector& operator=(const CDVBSICollector&) = delete;
    ~CDVBSICollector() override = default;

    // On the attached receiver's thread; `pid` is not used. Every table_id is taken.
    void OnReceivePAT(WORD pid, CDVBPATSection* section) override;
    void OnReceivePMT(WORD pid, CDVBPMTSection* section) override;
    void OnReceiveSDT(WORD pid, CDVBSDTSection* section) override;
    void OnReceiveEIT(WORD pid, CDVBEITSection* section) override;
    void OnReceiveNIT(WORD pid, CDVBNITSection* section) override;
    void OnChangeTransportStream() {}

    void EnableUpdates(bool enable);
    // Writes the file when updates are enabled, SI arrived since the last write, and the
    // count of calls is a multiple of five.
    void OnEverySecond();
    // Writes the file now.
    void Update();

    // Bytes XML may not hold, and markup, become spaces ('&' a '+'); the length stays.
    static void CleanTextForXML(CString& text);

    // Callers hold the matching lock while they read.
    CDVBProgramList* GetProgramsList() { return &m_programs; }
    CCriticalSection* GetProgramsSection() { return &m_programsLock; }
    CDVBTransportStreamList* GetTransportStreamsList() { return &m_transportStreams; }
    CCriticalSection* GetTransportStreamsSection() { return &m_transportStreamsLock; }

protected:
    void WriteScheduleItem(std::FILE* file, const CDVBScheduleEntry& entry);
    // The section's transport stream told of it, under its lock; something new to write.
    template <class Section>
    void ApplyToTransportStream(Section* section, void (CDVBTransportStream::*apply)(Section*));

    CDVBProgramList m_programs;
    CCriticalSection m_programsLock;
    CDVBProgramListUpdater m_programsUpdater{m_programs, m_programsLock, false};
    CDVBTransportStreamList m_transportStreams;
    CCriticalSection m_transportStreamsLock;
    // Written on the receive thread, read by an application's Update: atomics, not locks.
    std::atomic<bool> m_changed{true};
    std::atomic<bool> m_updatesEnabled{false};
    std::atomic<DWORD> m_secondsCounter{0};
};
