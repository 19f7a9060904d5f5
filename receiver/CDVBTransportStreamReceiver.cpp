#include "receiver/CDVBTransportStreamReceiver.h"

#include "core/CDVBClockedSource.h"
#include "core/CDVBPIDReceiver.h"
#include "core/CDVBRecordingParameters.h"
#include "core/CDVBPIDReceiverList.h"
#include "core/CDVBTiming.h"
#include "core/CDVBTransportStreamSource.h"
#include "core/CDVBPCRReceiver.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBSICollector.h"
#include "model/CDVBTransportStreamUpdateHandler.h"
#include "platform/CClock.h"
#include "platform/CEvent.h"
#include "platform/CMultimediaTimer.h"
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

#include <cstdlib>
#include <vector>

namespace {

constexpr DWORD kThreadEndTimeoutMs = 1000;
constexpr DWORD kTickPeriodMs = 1;
constexpr int kReadsPerWake = 8;
// PAT, NIT, SDT, EIT, TDT/TOT: the tables every stream is read for.
constexpr WORD kSIPIDs[] = {0x0000, 0x0010, 0x0011, 0x0012, 0x0014};

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

// ---- life cycle ----

bool CDVBTransportStreamReceiver::Initialise()
{
    if (m_receiveThread || m_abandonedThread)
        return true;
    m_receivingEvent = new CEvent(true, false);
    m_stopEvent = new CEvent(true, false);
    m_exitEvent = new CEvent(true, false);
    m_threadEndedEvent = new CEvent(true, false);
    m_stoppedEvent = new CEvent(true, true);
    m_source->Initialise();
    m_receiveThread = new CThread;
    m_receiveThread->Start(&CDVBTransportStreamReceiver::GlobalReceiveThreadProc, this);
    return true;
}

void CDVBTransportStreamReceiver::CloseEvents()
{
    for (CEvent** event : {&m_receivingEvent, &m_stopEvent, &m_exitEvent, &m_threadEndedEvent,
                           &m_stoppedEvent}) {
        delete *event;
        *event = nullptr;
    }
}

bool CDVBTransportStreamReceiver::DeInitialise()
{
    bool threadEnded = true;
    if (m_receiveThread) {
        m_exitEvent->Set();
        if (m_threadEndedEvent->Wait(kThreadEndTimeoutMs) != WAIT_OBJECT_0) {
            m_receiveThread->Terminate(1);
            threadEnded = false;
        }
        if (threadEnded)
            delete m_receiveThread;
        else
            m_abandonedThread = m_receiveThread;
        m_receiveThread = nullptr;
    }
    if (threadEnded)
        CloseEvents();
    m_source->DeInitialise();
    return true;
}

void CDVBTransportStreamReceiver::Start()
{
    m_packetCounter = 0;
    m_packetsAtLastSecond = 0;
    m_secondsSinceStart = 0;
    for (WORD pid : kSIPIDs)
        AddSIReceiverIfNotPresent(pid);
    if (m_stopEvent == nullptr)
        return;   // not initialised: there is no thread to wake
    m_stopEvent->Reset();
    m_receivingEvent->Set();
}

void CDVBTransportStreamReceiver::Stop()
{
    if (m_receivingEvent == nullptr)
        return;
    m_receivingEvent->Reset();
    m_stopEvent->Set();
}

bool CDVBTransportStreamReceiver::WaitForStop(DWORD timeoutMs)
{
    if (m_stoppedEvent == nullptr)
        return true;
    return m_stoppedEvent->Wait(timeoutMs) == WAIT_OBJECT_0;
}

bool CDVBTransportStreamReceiver::IsReceiving()
{
    return m_receivingEvent != nullptr && m_receivingEvent->IsSet();
}

void CDVBTransportStreamReceiver::Reset()
{
    m_pidTable.Clear();
    {
        CSingleLock guard(m_programsLock);
        m_programs.DeleteAll();
    }
    m_packetCounter = 0;
    m_receivedPAT = false;
    m_transportStreamId = 0xFFFF;
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

void CDVBTransportStreamReceiver::OnReceiveNIT(CDVBNITSection*) {}

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

// ---- the receive thread ----

void CDVBTransportStreamReceiver::ProcessBuffer(BYTE* buffer, DWORD length)
{
    const DWORD packets = length / PacketSize;
    std::uint64_t counter = m_packetCounter.load(std::memory_order_relaxed);
    for (DWORD i = 0; i < packets; ++i) {
        BYTE* packet = buffer + std::size_t(i) * PacketSize;
        const WORD pid = WORD(((packet[1] & 0x1F) << 8) | packet[2]);
        if (CDVBPIDReceiverList* list = m_pidTable.GetList(pid))
            list->DeliverPacket(counter, packet);
        m_packetCounter.store(++counter, std::memory_order_relaxed);
    }
}

void CDVBTransportStreamReceiver::OnEveryMillisecond()
{
    m_pidTable.NotifyEveryMillisecond();
    const std::int64_t now = m_clock->GetMonotonicTime();
    const std::int64_t second = CDVBTiming::GetSystemClockFrequency();
    if (now >= m_lastSecond + second) {
        OnEverySecond();
        // seconds keep their grid however late the wake; after a stall, one pass, no burst
        m_lastSecond = now - m_lastSecond >= 2 * second ? now : m_lastSecond + second;
    }
}

void CDVBTransportStreamReceiver::OnEverySecond()
{
    CalculateBitrate();
    m_source->NotifyBitrate(GetBitrate());
    m_source->OnEverySecond();
    m_pidTable.NotifyEverySecond();
    if (CDVBSICollector* collector = m_siCollector.load())
        collector->OnEverySecond();
    const std::uint64_t packets = m_packetCounter.load(std::memory_order_relaxed);
    m_dataBeingReceived = packets != m_packetsAtLastSecond;
    m_packetsAtLastSecond = packets;
    ++m_secondsSinceStart;
}

void CDVBTransportStreamReceiver::ReceiveTick(BYTE* buffer, DWORD size, int reads)
{
    OnEveryMillisecond();
    ReadAvailable(buffer, size, reads);
}

void CDVBTransportStreamReceiver::ReadAvailable(BYTE* buffer, DWORD size, int reads)
{
    for (int read = 0; read < reads; ++read) {
        DWORD length = m_source->ReadBuffer(buffer, size);
        if (length == 0)
            return;
        if (length > size)
            length = size;   // a source that claims more than it was given: never read past
        m_source->GetSuggestedBufferSize();
        AddReferencePoint(m_packetCounter.load(std::memory_order_relaxed));
        ProcessBuffer(buffer, length);
        if (m_recorder.IsRecording())
            m_recorder.Record(buffer, length);
        if (length < size)
            return;   // the source had no more
    }
}

DWORD CDVBTransportStreamReceiver::GlobalReceiveThreadProc(void* receiver)
{
    return static_cast<CDVBTransportStreamReceiver*>(receiver)->ReceiveThreadProc();
}

DWORD CDVBTransportStreamReceiver::ReceiveThreadProc()
{
    DWORD size = m_source->GetSuggestedBufferSize();
    AddReferencePoint(0);
    m_lastSecond = m_clock->GetMonotonicTime();
    auto* buffer = static_cast<BYTE*>(std::malloc(size ? size : 1));
    if (buffer == nullptr)
        size = 0;
    CThread::RaiseCurrentPriority();

    CEvent* const idleEvents[] = {m_exitEvent, m_receivingEvent};
    CEvent* const periodEvents[] = {m_exitEvent, m_stopEvent};
    bool exit = false;
    while (!exit) {
        const DWORD wake = CEvent::WaitMany(idleEvents, 2, INFINITE);
        if (wake == WAIT_OBJECT_0)
            break;
        if (wake != WAIT_OBJECT_0 + 1)
            continue;

        m_stoppedEvent->Reset();
        m_source->Start();
        // The thread waits for its own tick: no timer thread, no event to pulse, and the
        // ticks come from the receiver's clock. Nobody asking for every millisecond, it
        // sleeps QuietPeriodMs and reads all there is when it wakes.
        CMultimediaTimer timer(*m_clock);
        bool everyMillisecond = m_pidTable.HasTimeReceivers();
        timer.Start(everyMillisecond ? kTickPeriodMs : QuietPeriodMs);
        for (;;) {
            const DWORD event = timer.Wait(periodEvents, 2);
            if (event == WAIT_OBJECT_0) {
                exit = true;
                break;
            }
            if (event == WAIT_OBJECT_0 + 1) {
                // what the source holds came before the stop: dispatched and recorded too
                ReadAvailable(buffer, size, kReadsPerWake);
                break;
            }
            if (event != WAIT_TIMEOUT)
                continue;
            ReceiveTick(buffer, size, everyMillisecond ? 1 : kReadsPerWake);
            if (m_pidTable.HasTimeReceivers() != everyMillisecond) {
                everyMillisecond = !everyMillisecond;
                timer.Kill();
                timer.Start(everyMillisecond ? kTickPeriodMs : QuietPeriodMs);
            }
        }
        timer.Kill();
        m_source->Stop();
        m_stoppedEvent->Set();
    }
    std::free(buffer);
    m_threadEndedEvent->Set();
    return 0;
}
