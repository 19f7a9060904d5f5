#include "core/CDVBTransportStreamReceiver.h"

#include "core/CDVBPIDReceiver.h"
#include "core/CDVBPIDReceiverList.h"
#include "core/CDVBTiming.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/CEvent.h"
#include "platform/CMultimediaTimer.h"
#include "platform/CString.h"
#include "platform/CThread.h"
#include "platform/DebugOutput.h"
#include "si/CDVBSIReceiver.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTOTSection.h"

#include <cstdlib>

namespace {

constexpr DWORD kThreadEndTimeoutMs = 1000;
constexpr DWORD kTickPeriodMs = 1;
// PAT, NIT, SDT, EIT, TDT/TOT: the tables every stream is read for.
constexpr WORD kSIPIDs[] = {0x0000, 0x0010, 0x0011, 0x0012, 0x0014};

}  // namespace

CDVBTransportStreamReceiver::CDVBTransportStreamReceiver(
    CDVBTransportStreamSource* source, CDVBTransportStreamUpdateHandler* updateHandler)
    : m_timeList(new CDVBPIDReceiverList), m_source(source), m_updateHandler(updateHandler)
{
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
    Reset();
    delete m_timeList;
}

bool CDVBTransportStreamReceiver::Initialise()
{
    if (m_receiveThread || m_abandonedThread)
        return true;
    m_receivingEvent = new CEvent(true, false);
    m_stopEvent = new CEvent(true, false);
    m_exitEvent = new CEvent(true, false);
    m_threadEndedEvent = new CEvent(true, false);
    m_stoppedEvent = new CEvent(true, true);
    m_tickEvent = new CEvent(false, false);
    m_source->Initialise();
    m_receiveThread = new CThread;
    m_receiveThread->Start(&CDVBTransportStreamReceiver::GlobalReceiveThreadProc, this);
    return true;
}

void CDVBTransportStreamReceiver::CloseEvents()
{
    for (CEvent** event : {&m_receivingEvent, &m_stopEvent, &m_exitEvent, &m_threadEndedEvent,
                           &m_stoppedEvent, &m_tickEvent}) {
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
    m_timeList->RemoveAll();
    for (auto& slot : m_pidTable)
        delete slot.exchange(nullptr);
    m_packetCounter = 0;
}

CDVBPIDReceiverList* CDVBTransportStreamReceiver::GetList(WORD pid) const
{
    if (pid >= PIDCount)
        return nullptr;
    return m_pidTable[pid].load(std::memory_order_acquire);
}

CDVBPIDReceiverList* CDVBTransportStreamReceiver::GetOrCreateList(WORD pid)
{
    CDVBPIDReceiverList* list = GetList(pid);
    if (list)
        return list;
    // Two threads may add the first receivers of one PID at once: one list wins.
    auto* created = new CDVBPIDReceiverList;
    CDVBPIDReceiverList* expected = nullptr;
    if (m_pidTable[pid].compare_exchange_strong(expected, created, std::memory_order_acq_rel))
        return created;
    delete created;
    return expected;
}

void CDVBTransportStreamReceiver::AddPIDReceiver(WORD pid, CDVBPIDReceiver* receiver)
{
    if (receiver == nullptr)
        return;
    if (pid >= PIDCount) {
        CString line;
        line.Format("PID receiver refused: PID %u is above 8191.\n", unsigned(pid));
        OutputDebugStringA(line);
        delete receiver;
        return;
    }
    CDVBPIDReceiverList* list = GetOrCreateList(pid);
    receiver->SetPID(pid);
    list->Add(receiver);
    if (receiver->RequiresTimeNotifications())
        m_timeList->Add(receiver);
}

bool CDVBTransportStreamReceiver::DeletePIDReceiver(WORD pid, int type)
{
    CDVBPIDReceiverList* list = GetList(pid);
    if (list == nullptr)
        return false;
    if (CDVBPIDReceiver* doomed = list->GetByType(type))
        m_timeList->RemoveReceiver(doomed);
    return list->DeleteByType(type);
}

bool CDVBTransportStreamReceiver::HasPIDReceiver(WORD pid, int type)
{
    CDVBPIDReceiverList* list = GetList(pid);
    return list != nullptr && list->HasType(type);
}

CDVBPIDReceiver* CDVBTransportStreamReceiver::GetPIDReceiver(WORD pid, int type)
{
    CDVBPIDReceiverList* list = GetList(pid);
    return list ? list->GetByType(type) : nullptr;
}

CDVBPIDReceiver* CDVBTransportStreamReceiver::RemovePIDReceiverWithCookie(WORD pid, GUID* cookie)
{
    CDVBPIDReceiverList* list = GetList(pid);
    if (list == nullptr)
        return nullptr;
    CDVBPIDReceiver* receiver = list->RemoveByCookie(cookie);
    // Taken after the PID's list lock is released: no two list locks are held together.
    if (receiver && receiver->RequiresTimeNotifications())
        m_timeList->RemoveReceiver(receiver);
    return receiver;
}

bool CDVBTransportStreamReceiver::AddSIReceiverIfNotPresent(WORD pid)
{
    if (HasPIDReceiver(pid, CDVBPIDReceiver::TypeSI))
        return false;
    AddPIDReceiver(pid, new CDVBSIReceiver(this));
    return true;
}

void CDVBTransportStreamReceiver::OnSectionAdd(WORD pid, CDVBSISection* section)
{
    OnSectionUpdate(pid, section);
}

void CDVBTransportStreamReceiver::OnSectionUpdate(WORD, CDVBSISection* section)
{
    switch (section->m_type) {
    case CDVBSISection::TypeTDT:
        OnReceiveTDT(static_cast<CDVBTDTSection*>(section));
        break;
    case CDVBSISection::TypeTOT:
        OnReceiveTOT(static_cast<CDVBTOTSection*>(section));
        break;
    default:
        break;
    }
}

void CDVBTransportStreamReceiver::OnReceiveTDT(CDVBTDTSection* section)
{
    CString date, time, line;
    section->GetDateText(date);
    section->GetTimeText(time);
    line.Format("TDT %s %s.\n", static_cast<const char*>(date), static_cast<const char*>(time));
    OutputDebugStringA(line);
}

void CDVBTransportStreamReceiver::OnReceiveTOT(CDVBTOTSection* section)
{
    CString date, time, line;
    section->GetDateText(date);
    section->GetTimeText(time);
    line.Format("TOT %s %s.\n", static_cast<const char*>(date), static_cast<const char*>(time));
    OutputDebugStringA(line);
}

void CDVBTransportStreamReceiver::ProcessBuffer(BYTE* buffer, DWORD length)
{
    const DWORD packets = length / PacketSize;
    std::uint64_t counter = m_packetCounter.load(std::memory_order_relaxed);
    for (DWORD i = 0; i < packets; ++i) {
        BYTE* packet = buffer + std::size_t(i) * PacketSize;
        const WORD pid = WORD(((packet[1] & 0x1F) << 8) | packet[2]);
        if (CDVBPIDReceiverList* list = m_pidTable[pid].load(std::memory_order_acquire))
            list->DeliverPacket(counter, packet);
        m_packetCounter.store(++counter, std::memory_order_relaxed);
    }
}

void CDVBTransportStreamReceiver::OnEveryMillisecond()
{
    m_timeList->NotifyEveryMillisecond();
    const std::int64_t now = CDVBTiming::GetSystemClock();
    if (now >= m_lastSecond + CDVBTiming::GetSystemClockFrequency()) {
        OnEverySecond();
        m_lastSecond = now;
    }
}

void CDVBTransportStreamReceiver::OnEverySecond()
{
    m_source->NotifyBitrate(GetBitrate());
    m_source->OnEverySecond();
    for (WORD pid = 0; pid < PIDCount; ++pid)
        if (CDVBPIDReceiverList* list = GetList(pid))
            list->NotifyEverySecond();
    const std::uint64_t packets = m_packetCounter.load(std::memory_order_relaxed);
    m_dataBeingReceived = packets != m_packetsAtLastSecond;
    m_packetsAtLastSecond = packets;
    ++m_secondsSinceStart;
}

void CDVBTransportStreamReceiver::ReceiveTick(BYTE* buffer, DWORD size)
{
    OnEveryMillisecond();
    DWORD length = m_source->ReadBuffer(buffer, size);
    if (length == 0)
        return;
    if (length > size)
        length = size;   // a source that claims more than it was given: never read past
    m_source->GetSuggestedBufferSize();
    ProcessBuffer(buffer, length);
}

DWORD CDVBTransportStreamReceiver::GlobalReceiveThreadProc(void* receiver)
{
    return static_cast<CDVBTransportStreamReceiver*>(receiver)->ReceiveThreadProc();
}

DWORD CDVBTransportStreamReceiver::ReceiveThreadProc()
{
    DWORD size = m_source->GetSuggestedBufferSize();
    m_lastSecond = CDVBTiming::GetSystemClock();
    auto* buffer = static_cast<BYTE*>(std::malloc(size ? size : 1));
    if (buffer == nullptr)
        size = 0;
    CThread::RaiseCurrentPriority();

    CEvent* const idleEvents[] = {m_exitEvent, m_receivingEvent};
    CEvent* const periodEvents[] = {m_exitEvent, m_stopEvent, m_tickEvent};
    bool exit = false;
    while (!exit) {
        const DWORD wake = CEvent::WaitMany(idleEvents, 2, INFINITE);
        if (wake == WAIT_OBJECT_0)
            break;
        if (wake != WAIT_OBJECT_0 + 1)
            continue;

        m_stoppedEvent->Reset();
        m_source->Start();
        CMultimediaTimer timer;
        timer.Start(kTickPeriodMs, m_tickEvent);
        for (;;) {
            const DWORD event = CEvent::WaitMany(periodEvents, 3, kTickPeriodMs);
            if (event == WAIT_OBJECT_0) {
                exit = true;
                break;
            }
            if (event == WAIT_OBJECT_0 + 1)
                break;
            if (event == WAIT_OBJECT_0 + 2 || event == WAIT_TIMEOUT)
                ReceiveTick(buffer, size);
        }
        timer.Kill();
        m_source->Stop();
        m_stoppedEvent->Set();
    }
    std::free(buffer);
    m_threadEndedEvent->Set();
    return 0;
}
