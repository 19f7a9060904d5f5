#include "receiver/CDVBTransportStreamReceiver.h"

#include "core/CDVBClockedSource.h"
#include "core/CDVBPIDReceiver.h"
#include "core/CDVBRecordingParameters.h"
#include "core/CDVBTiming.h"
#include "core/CDVBTransportStreamSource.h"
#include "core/CDVBPCRReceiver.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBSICollector.h"
#include "model/CDVBTransportStreamUpdateHandler.h"
#include "platform/CClock.h"
#include "platform/CSingleLock.h"
#include "platform/CThread.h"
#include "platform/DebugOutput.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBSIReceiver.h"
#include "si/CDVBTableListener.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTOTSection.h"

#include <vector>

namespace {

template <typename Section>
void WriteTimeLine(const char* table, Section* section)
{
    if (!IsDebugOutputWanted())
        return;
    CString date, time, line;
    section->GetDateText(date);
    section->GetTimeText(time);
    line.Format("%s %s %s.\n", table, static_cast<const char*>(date), static_cast<const char*>(time));
    OutputDebugStringA(line);
}

}  // namespace

CDVBTransportStreamReceiver::CDVBTransportStreamReceiver(
    CDVBTransportStreamSource* source, CDVBTransportStreamUpdateHandler* updateHandler, CClock* clock)
    : m_source(source), m_updateHandler(updateHandler), m_clock(clock ? clock : &CClock::System())
{
    if (auto* clocked = dynamic_cast<CDVBClockedSource*>(source))
        clocked->SetClock(m_clock);
}

CDVBTransportStreamReceiver::~CDVBTransportStreamReceiver()
{
    // An owner that forgot DeInitialise would leave the thread running over freed memory.
    if (m_receiveThread)
        DeInitialise();
    if (m_abandonedThread) {
        delete m_abandonedThread;   // joins: the thread still uses the events
        m_abandonedThread = nullptr;
        CloseEvents();
    }
    StopRecording();
    Reset();
}

// ---- recording ----

bool CDVBTransportStreamReceiver::StartRecording(CDVBRecordingParameters* parameters)
{
    const DWORD size = m_source ? m_source->GetSuggestedBufferSize() : 192512;
    return m_recorder.Start(parameters->m_fileName, size, parameters->m_filter, parameters->m_waitForFreeBuffers,
                            parameters->m_fileDescriptor);
}

bool CDVBTransportStreamReceiver::StopRecording()
{
    return m_recorder.Stop();
}

// ---- PID registry ----

void CDVBTransportStreamReceiver::AddPIDReceiver(WORD pid, CDVBPIDReceiver* receiver)
{
    if (pid >= PIDCount && receiver != nullptr) {
        CString line;
        line.Format("PID receiver refused: PID %u is above 8191.\n", unsigned(pid));
        OutputDebugStringA(line);
    }
    m_pidTable.Add(pid, receiver);
}

bool CDVBTransportStreamReceiver::DeletePIDReceiver(WORD pid, int type)
{
    return m_pidTable.Delete(pid, type);
}

bool CDVBTransportStreamReceiver::HasPIDReceiver(WORD pid, int type)
{
    return m_pidTable.Has(pid, type);
}

CDVBPIDReceiver* CDVBTransportStreamReceiver::GetPIDReceiver(WORD pid, int type)
{
    return m_pidTable.Get(pid, type);
}

CDVBPIDReceiver* CDVBTransportStreamReceiver::RemovePIDReceiverWithCookie(WORD pid, GUID* cookie)
{
    return m_pidTable.RemoveWithCookie(pid, cookie);
}

bool CDVBTransportStreamReceiver::AddSIReceiverIfNotPresent(WORD pid)
{
    if (HasPIDReceiver(pid, CDVBPIDReceiver::TypeSI))
        return false;
    AddPIDReceiver(pid, new CDVBSIReceiver(this));
    return true;
}

// ---- service information ----

void CDVBTransportStreamReceiver::Notify(WORD programNumber, int updateType)
{
    if (m_updateHandler)
        m_updateHandler->OnServiceInformationUpdate(programNumber, updateType);
}

void CDVBTransportStreamReceiver::OnSectionAdd(WORD pid, CDVBSISection* section)
{
    OnSectionUpdate(pid, section);
}

// The receiver's own handlers take the section alone.
class CDVBTransportStreamReceiver::COwnTables : public CDVBTableListener
{
public:
    explicit COwnTables(CDVBTransportStreamReceiver& receiver) : m_receiver(receiver) {}
    void OnReceivePAT(WORD, CDVBPATSection* section) override { m_receiver.OnReceivePAT(section); }
    void OnReceivePMT(WORD, CDVBPMTSection* section) override { m_receiver.OnReceivePMT(section); }
    void OnReceiveSDT(WORD, CDVBSDTSection* section) override { m_receiver.OnReceiveSDT(section); }
    void OnReceiveEIT(WORD, CDVBEITSection* section) override { m_receiver.OnReceiveEIT(section); }
    void OnReceiveNIT(WORD, CDVBNITSection* section) override { m_receiver.OnReceiveNIT(section); }
    void OnReceiveTDT(WORD, CDVBTDTSection* section) override { m_receiver.OnReceiveTDT(section); }
    void OnReceiveTOT(WORD, CDVBTOTSection* section) override { m_receiver.OnReceiveTOT(section); }

private:
    CDVBTransportStreamReceiver& m_receiver;
};

void CDVBTransportStreamReceiver::OnSectionUpdate(WORD pid, CDVBSISection* section)
{
    COwnTables own(*this);
    CDVBTableListener::Dispatch(own, pid, section);
    for (const auto& slot : m_tableListeners)
        if (CDVBTableListener* listener = slot.load())
            CDVBTableListener::Dispatch(*listener, pid, section);
    if (CDVBSICollector* collector = m_siCollector.load())
        CDVBTableListener::Dispatch(*collector, pid, section);
}

bool CDVBTransportStreamReceiver::AddTableListener(CDVBTableListener* listener)
{
    for (auto& slot : m_tableListeners) {
        CDVBTableListener* empty = nullptr;
        if (slot.compare_exchange_strong(empty, listener))
            return true;
    }
    return false;
}

void CDVBTransportStreamReceiver::RemoveTableListener(CDVBTableListener* listener)
{
    for (auto& slot : m_tableListeners) {
        CDVBTableListener* held = listener;
        slot.compare_exchange_strong(held, nullptr);
    }
}

void CDVBTransportStreamReceiver::OnReceivePAT(CDVBPATSection* section)
{
    m_receivedPAT = true;
    m_transportStreamId = section->m_tableIdExtension;
    m_programsUpdater.ApplyPAT(section);
    for (CDVBPATEntry* entry : section->m_entries)   // the network's PID too; outside the programs lock
        AddSIReceiverIfNotPresent(entry->m_pid);
}

void CDVBTransportStreamReceiver::OnReceivePMT(CDVBPMTSection* section)
{
    m_programsUpdater.ApplyPMT(section);
    if (!HasPIDReceiver(section->m_pcrPid, CDVBPIDReceiver::TypePCR))
        AddPIDReceiver(section->m_pcrPid, new CDVBPCRReceiver);
}

void CDVBTransportStreamReceiver::OnReceiveSDT(CDVBSDTSection* section)
{
    m_programsUpdater.ApplySDT(section);
}

void CDVBTransportStreamReceiver::OnReceiveEIT(CDVBEITSection* section)
{
    m_programsUpdater.ApplyEIT(section);
}

void CDVBTransportStreamReceiver::OnReceiveNIT(CDVBNITSection* section)
{
    m_programsUpdater.ApplyNIT(section);
}

void CDVBTransportStreamReceiver::OnReceiveTDT(CDVBTDTSection* section)
{
    WriteTimeLine("TDT", section);
}

void CDVBTransportStreamReceiver::OnReceiveTOT(CDVBTOTSection* section)
{
    WriteTimeLine("TOT", section);
}

bool CDVBTransportStreamReceiver::HasCompleteBasicServiceInformation()
{
    if (!m_receivedPAT)
        return false;
    CSingleLock guard(m_programsLock);
    for (const CDVBProgram* program : m_programs)
        if (!program->m_receivedPMT || !program->m_receivedSDT)
            return false;
    return true;
}

int CDVBTransportStreamReceiver::GetNowAndNextInformation(WORD programNumber, CDVBScheduleEntry* now,
                                                          CDVBScheduleEntry* next)
{
    CSingleLock guard(m_programsLock);
    CDVBProgram* program = m_programs.GetProgram(programNumber);
    return program ? program->m_schedule.GetNowAndNextInformation(now, next) : 0;
}

bool CDVBTransportStreamReceiver::GetComponentDefinition(WORD programNumber, WORD pid,
                                                         CDVBComponentDefinition* definition)
{
    definition->m_pid = pid;
    definition->m_programNumber = programNumber;
    CSingleLock guard(m_programsLock);
    const CDVBProgram* program = m_programs.GetProgram(programNumber);
    const CDVBProgramElement* element = program ? program->GetProgramElement(pid) : nullptr;
    if (element == nullptr)
        return false;
    definition->m_description = element->GetDescription();
    definition->m_streamType = element->m_streamType;
    const char* codec = element->GetCodecName();
    definition->m_codecName = codec ? codec : "";
    return true;
}

// ---- clocks and bitrate ----

CDVBPCRReceiver* CDVBTransportStreamReceiver::GetPCRReceiver(WORD programNumber)
{
    WORD pcrPid = 0xFFFF;
    {
        CSingleLock guard(m_programsLock);
        const CDVBProgram* program = m_programs.GetProgram(programNumber);
        if (program == nullptr)
            return nullptr;
        pcrPid = program->m_pcrPid;
    }
    // the registry is asked only once the programs lock is released
    if (pcrPid >= PIDCount)
        return nullptr;
    return static_cast<CDVBPCRReceiver*>(GetPIDReceiver(pcrPid, CDVBPIDReceiver::TypePCR));
}

bool CDVBTransportStreamReceiver::GetProgramClock(WORD programNumber, std::int64_t& clock)
{
    CDVBPCRReceiver* pcr = GetPCRReceiver(programNumber);
    return pcr != nullptr && pcr->GetClockAtPacket(*this, clock);
}

bool CDVBTransportStreamReceiver::GetProgramClock(WORD programNumber, CString& text)
{
    std::int64_t clock = 0;
    if (!GetProgramClock(programNumber, clock))
        return false;
    ClockToString(clock, text);
    return true;
}

void CDVBTransportStreamReceiver::AddReferencePoint(std::uint64_t packets)
{
    m_referencePoints.Add(m_clock->GetMonotonicTime(), packets);
}

void CDVBTransportStreamReceiver::GetReferencePoint(std::int64_t& clock, std::uint64_t& packets)
{
    m_referencePoints.GetReferencePoint(clock, packets);
}

void CDVBTransportStreamReceiver::CalculateBitrate()
{
    // PCR PIDs first, under the programs lock; the registry after it is released
    std::vector<WORD> pcrPids;
    {
        CSingleLock guard(m_programsLock);
        for (const CDVBProgram* program : m_programs)
            pcrPids.push_back(program->m_pcrPid);
    }
    std::int64_t sum = 0;   // wide: many fast multiplexes add up past 2^31
    int counted = 0;
    for (WORD pid : pcrPids) {
        if (pid >= PIDCount)
            continue;   // no PMT yet
        auto* pcr = static_cast<CDVBPCRReceiver*>(GetPIDReceiver(pid, CDVBPIDReceiver::TypePCR));
        const int bitrate = pcr ? pcr->GetBitrate() : 0;
        if (bitrate != 0) {
            sum += bitrate;
            ++counted;
        }
    }
    m_bitrate = counted > 0 ? int(sum / counted) : 0;
}
