#pragma once
// The heart of the library: over one transport stream source it runs a receive thread
// that, every millisecond, reads a buffer of packets and hands each packet to the PID
// receivers registered for its PID, in order of registration; it drives the millisecond
// and one-second notifications. It is also the handler of the SI receivers it registers:
// on PIDs 0x0000, 0x0010, 0x0011, 0x0012 and 0x0014 at Start.
//
// Ownership: the receiver owns every PID receiver registered with it; it borrows its
// source and update handler. Life cycle, on the owner's thread: constructor, Initialise,
// any number of Start ... Stop + WaitForStop periods, DeInitialise, destructor. Reset and
// the destructor run only while no reception period runs.
#include "platform/GUID.h"
#include "platform/LUMTypes.h"
#include "si/CDVBSIHandler.h"

#include <array>
#include <atomic>
#include <cstdint>

class CDVBPIDReceiver;
class CDVBPIDReceiverList;
class CDVBTransportStreamSource;
class CDVBTransportStreamUpdateHandler;
class CEvent;
class CThread;

class CDVBTDTSection;
class CDVBTOTSection;

class CDVBTransportStreamReceiver : public CDVBSIHandler
{
public:
    static constexpr WORD PIDCount = 8192;
    static constexpr DWORD PacketSize = 188;

    // The source is required and not owned; the update handler may be null.
    CDVBTransportStreamReceiver(CDVBTransportStreamSource* source,
                                CDVBTransportStreamUpdateHandler* updateHandler);
    virtual ~CDVBTransportStreamReceiver();
    CDVBTransportStreamReceiver(const CDVBTransportStreamReceiver&) = delete;
    CDVBTransportStreamReceiver& operator=(const CDVBTransportStreamReceiver&) = delete;

    bool Initialise();
    bool DeInitialise();
    // Resets the counters, registers the SI receivers that are not there yet, and starts a
    // reception period.
    void Start();
    void Stop();
    // True when no reception period runs within `timeoutMs` (at once if none ever ran).
    bool WaitForStop(DWORD timeoutMs);
    bool IsReceiving();
    void Reset();

    // The registry owns `receiver` from this call on. PIDs above 8191 index nothing: such
    // a receiver is deleted at once.
    void AddPIDReceiver(WORD pid, CDVBPIDReceiver* receiver);
    bool DeletePIDReceiver(WORD pid, int type);
    bool HasPIDReceiver(WORD pid, int type);
    CDVBPIDReceiver* GetPIDReceiver(WORD pid, int type);
    // The receiver found is unlinked and owned by the caller from now on.
    CDVBPIDReceiver* RemovePIDReceiverWithCookie(WORD pid, GUID* cookie);
    // Registers a section reassembler reporting to this receiver unless the PID has one.
    bool AddSIReceiverIfNotPresent(WORD pid);

    // Called on the receive thread by the SI receivers, under their PID's list lock.
    void OnSectionAdd(WORD pid, CDVBSISection* section) override;
    void OnSectionUpdate(WORD pid, CDVBSISection* section) override;

    std::uint64_t GetPacketsReceived() const { return m_packetCounter.load(std::memory_order_relaxed); }
    bool IsDataBeingReceived() const { return m_dataBeingReceived.load(std::memory_order_relaxed); }
    int GetSecondsSinceStart() const { return m_secondsSinceStart.load(std::memory_order_relaxed); }
    int GetBitrate() const { return m_bitrate.load(std::memory_order_relaxed); }

protected:
    void OnEverySecond();
    void OnEveryMillisecond();
    void OnReceiveTDT(CDVBTDTSection* section);
    void OnReceiveTOT(CDVBTOTSection* section);
    void ProcessBuffer(BYTE* buffer, DWORD length);
    // One tick of a reception period: notifications, one read, dispatch.
    void ReceiveTick(BYTE* buffer, DWORD size);
    DWORD ReceiveThreadProc();
    static DWORD GlobalReceiveThreadProc(void* receiver);

    CDVBPIDReceiverList* GetList(WORD pid) const;
    CDVBPIDReceiverList* GetOrCreateList(WORD pid);
    void CloseEvents();

    CThread* m_receiveThread = nullptr;
    // A thread that did not end within its time-out: kept, with the events it still
    // uses, until the destructor has seen it end.
    CThread* m_abandonedThread = nullptr;
    CEvent* m_receivingEvent = nullptr;   // manual, set by Start, reset by Stop
    CEvent* m_stopEvent = nullptr;        // manual, set by Stop, reset by Start
    CEvent* m_exitEvent = nullptr;        // manual, set by DeInitialise
    CEvent* m_threadEndedEvent = nullptr; // manual, set as the thread returns
    CEvent* m_stoppedEvent = nullptr;     // manual, reset while a period runs
    CEvent* m_tickEvent = nullptr;        // auto, pulsed by the 1 ms timer

    // Written by the receive thread (and Start, Reset), read anywhere without a lock.
    std::atomic<std::uint64_t> m_packetCounter{0};
    std::array<std::atomic<CDVBPIDReceiverList*>, PIDCount> m_pidTable{};
    CDVBPIDReceiverList* m_timeList;   // refers to receivers owned by m_pidTable's lists
    std::atomic<std::uint64_t> m_packetsAtLastSecond{0};
    std::atomic<int> m_bitrate{0};
    CDVBTransportStreamSource* m_source;
    CDVBTransportStreamUpdateHandler* m_updateHandler;
    std::atomic<bool> m_dataBeingReceived{false};
    std::atomic<int> m_secondsSinceStart{0};
    std::int64_t m_lastSecond = 0;   // receive thread only
};
