// The receiver's life cycle and its receive thread: the events that start and stop a
// reception period, the ticks, the reads and the dispatch of each packet.
#include "receiver/CDVBTransportStreamReceiver.h"

#include "core/CDVBPIDReceiverList.h"
#include "core/CDVBTiming.h"
#include "core/CDVBTransportStreamSource.h"
#include "model/CDVBSICollector.h"
#include "platform/CClock.h"
#include "platform/CEvent.h"
#include "platform/CMultimediaTimer.h"
#include "platform/CSingleLock.h"
#include "platform/CThread.h"
#include "si/CDVBStreamAnalyser.h"

#include <cstdlib>

namespace {

constexpr DWORD kThreadEndTimeoutMs = 1000;
constexpr DWORD kTickPeriodMs = 1;
constexpr int kReadsPerWake = 8;
// PAT, NIT, SDT, EIT, TDT/TOT: the tables every stream is read for.
constexpr WORD kSIPIDs[] = {0x0000, 0x0010, 0x0011, 0x0012, 0x0014};

}  // namespace

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
    m_lastData = 0;
    m_gaps = 0;
    m_gapTime = 0;
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

// ---- the receive thread ----

void CDVBTransportStreamReceiver::ProcessBuffer(BYTE* buffer, DWORD length)
{
    const DWORD packets = length / PacketSize;
    if (CDVBStreamAnalyser* analyser = m_analyser.load(std::memory_order_relaxed))
        analyser->AnalysePackets(buffer, packets * PacketSize);
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
        m_source->GetSuggestedBufferSize();   // asked at every read, as sources expect; the buffer keeps its first size
        NoteData();
        AddReferencePoint(m_packetCounter.load(std::memory_order_relaxed));
        ProcessBuffer(buffer, length);
        if (m_recorder.IsRecording())
            m_recorder.Record(buffer, length);
        if (length < size)
            return;   // the source had no more
    }
}

void CDVBTransportStreamReceiver::NoteData()
{
    const std::int64_t now = m_clock->GetMonotonicTime();
    const std::int64_t last = m_lastData.load(std::memory_order_relaxed);
    if (last != 0 && now - last >= GapSeconds * CDVBTiming::GetSystemClockFrequency()) {
        m_gapTime.store(m_gapTime.load(std::memory_order_relaxed) + now - last, std::memory_order_relaxed);
        m_gaps.store(m_gaps.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        // packets before the gap came at another pace: their mean would time the packets
        // after it seconds wrong, and with them the program clock
        m_referencePoints.Initialise();
    }
    m_lastData.store(now, std::memory_order_relaxed);
}

std::int64_t CDVBTransportStreamReceiver::GetTimeSinceData() const
{
    const std::int64_t last = m_lastData.load(std::memory_order_relaxed);
    return last == 0 ? 0 : m_clock->GetMonotonicTime() - last;
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
