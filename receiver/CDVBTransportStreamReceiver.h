#pragma once
// The heart of the library: over one transport stream source it runs a receive thread
// that, every millisecond, reads a buffer of packets and hands each packet to the PID
// receivers registered for its PID, in order of registration, and drives the millisecond
// and one-second notifications. It is the handler of the SI receivers it registers (on
// PIDs 0x0000, 0x0010, 0x0011, 0x0012 and 0x0014 at Start, then on every PID a PAT
// names), keeps the program list from the tables they report, and tells an update
// handler what changed.
//
// Ownership: the receiver owns every PID receiver registered with it and every program;
// it borrows its source and update handler. Life cycle, on the owner's thread:
// constructor, Initialise, any number of Start ... Stop + WaitForStop periods,
// DeInitialise, destructor. Reset and the destructor run only while no reception period
// runs.
//
// Locks: a PID receiver list lock, then the programs lock, then an update handler's or a
// schedule's lock. No list lock is taken while the programs lock is held.
#include "core/CDVBPIDRegistry.h"
#include "core/CDVBReceiverTiming.h"
#include "core/CDVBRecorder.h"
#include "core/CDVBReferencePointTracker.h"
#include "model/CDVBProgramList.h"
#include "model/CDVBProgramListUpdater.h"
#include "platform/CCriticalSection.h"
#include "platform/CString.h"
#include "platform/GUID.h"
#include "platform/LUMTypes.h"
#include "si/CDVBSIHandler.h"

#include <array>
#include <atomic>
#include <cstdint>

class CDVBComponentDefinition;
class CDVBEITSection;
class CDVBNITSection;
class CDVBPATSection;
class CDVBPCRReceiver;
class CDVBPIDReceiver;
class CDVBPMTSection;
class CDVBRecordingParameters;
class CDVBScheduleEntry;
class CDVBSDTSection;
class CDVBSICollector;
class CDVBStreamAnalyser;
class CDVBTableListener;
class CDVBTDTSection;
class CDVBTOTSection;
class CDVBTransportStreamSource;
class CDVBTransportStreamUpdateHandler;
class CClock;
class CEvent;
class CThread;

class CDVBTransportStreamReceiver : public CDVBSIHandler, public CDVBReceiverTiming
{
public:
    static constexpr WORD PIDCount = CDVBPIDRegistry::PIDCount;
    static constexpr DWORD PacketSize = 188;
    // The receive thread wakes every millisecond while a PID receiver asks for millisecond
    // notifications; else every QuietPeriodMs, and then reads until the source has no more
    // (up to eight full buffers).
    static constexpr DWORD QuietPeriodMs = 20;

    // The source is required and not owned; the update handler may be null. Time comes
    // from `clock` (not owned), the system's clocks when null; a source that paces itself
    // (CDVBClockedSource) is given the same clock.
    CDVBTransportStreamReceiver(CDVBTransportStreamSource* source,
                                CDVBTransportStreamUpdateHandler* updateHandler, CClock* clock = nullptr);
    ~CDVBTransportStreamReceiver() override;
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
    // Deletes every PID receiver and every program.
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

    // The program list. Callers hold GetProgramsSection() while they call these and while
    // they use what they return.
    CDVBProgram* GetProgram(WORD programNumber) { return m_programs.GetProgram(programNumber); }
    CDVBProgram* GetOrCreateProgram(WORD programNumber) { return m_programs.GetOrCreateProgram(programNumber); }
    CDVBProgramList* GetProgramsList() { return &m_programs; }
    CCriticalSection* GetProgramsSection() { return &m_programsLock; }

    // These take the programs lock themselves.
    // A PAT has come and every program has its PMT and its SDT entry.
    bool HasCompleteBasicServiceInformation();
    // Bit 0: `now` filled; bit 1: `next` filled.
    int GetNowAndNextInformation(WORD programNumber, CDVBScheduleEntry* now, CDVBScheduleEntry* next);
    // Always sets the definition's PID and program number; the description only when the
    // program has that stream.
    bool GetComponentDefinition(WORD programNumber, WORD pid, CDVBComponentDefinition* definition);

    CDVBPCRReceiver* GetPCRReceiver(WORD programNumber) override;
    bool GetProgramClock(WORD programNumber, std::int64_t& clock);
    bool GetProgramClock(WORD programNumber, CString& text);
    // The mean of the recent (system clock, packets processed) pairs.
    void GetReferencePoint(std::int64_t& clock, std::uint64_t& packets) override;

    // Every section handled is passed on to `collector` (not owned; null detaches), which
    // is also called once a second.
    void SetSICollector(CDVBSICollector* collector) { m_siCollector = collector; }
    // Every section, once the receiver has applied it, goes on to each listener by its type
    // (not owned). Up to MaxTableListeners; false when that many are there. A listener is
    // removed only while the receiver is stopped, so that no call to it is under way.
    static constexpr int MaxTableListeners = 4;
    bool AddTableListener(CDVBTableListener* listener);
    void RemoveTableListener(CDVBTableListener* listener);

    // Every read goes to `analyser` (not owned; null detaches) before the PID receivers see
    // it. Changed only while the receiver is stopped.
    void SetStreamAnalyser(CDVBStreamAnalyser* analyser) { m_analyser = analyser; }

    // Records every read, as delivered, to the parameters' file until StopRecording; a
    // recording in progress ends first. False when the file cannot be created.
    bool StartRecording(CDVBRecordingParameters* parameters);
    // Writes what was received before it, then closes the file.
    bool StopRecording();
    // Whether it records, and how it went (a write error such as a full disk).
    const CDVBRecorder& GetRecorder() const { return m_recorder; }

    CClock* GetClock() const override { return m_clock; }
    std::uint64_t GetPacketsReceived() const override { return m_packetCounter.load(std::memory_order_relaxed); }
    bool IsDataBeingReceived() const { return m_dataBeingReceived.load(std::memory_order_relaxed); }
    // Gaps: stretches of a reception period of a second or more in which no read brought
    // data, counted when the data comes back; their count and their time in all. While a
    // gap lasts, GetTimeSinceData says how long (system clock units, 0 before any data).
    static constexpr std::int64_t GapSeconds = 1;
    std::uint64_t GetGaps() const { return m_gaps.load(std::memory_order_relaxed); }
    std::int64_t GetGapTime() const { return m_gapTime.load(std::memory_order_relaxed); }
    std::int64_t GetTimeSinceData() const;
    int GetSecondsSinceStart() const { return m_secondsSinceStart.load(std::memory_order_relaxed); }
    // Bits per second: the mean of the programs' PCR bitrates, once a second.
    int GetBitrate() const { return m_bitrate.load(std::memory_order_relaxed); }

protected:
    // Section callbacks, on the receive thread, under the reporting PID's list lock.
    void OnSectionAdd(WORD pid, CDVBSISection* section) override;
    void OnSectionUpdate(WORD pid, CDVBSISection* section) override;
    void OnReceivePAT(CDVBPATSection* section);
    void OnReceivePMT(CDVBPMTSection* section);
    void OnReceiveSDT(CDVBSDTSection* section);
    void OnReceiveEIT(CDVBEITSection* section);
    void OnReceiveNIT(CDVBNITSection* section);
    void OnReceiveTDT(CDVBTDTSection* section);
    void OnReceiveTOT(CDVBTOTSection* section);

    void OnEverySecond();
    void OnEveryMillisecond();
    void AddReferencePoint(std::uint64_t packets);
    void CalculateBitrate();
    void ProcessBuffer(BYTE* buffer, DWORD length);
    // One tick of a reception period: notifications, then up to `reads` reads while the
    // source fills the buffer, each dispatched.
    void ReceiveTick(BYTE* buffer, DWORD size, int reads);
    // Up to `reads` reads, each dispatched and recorded, until one comes back short.
    void ReadAvailable(BYTE* buffer, DWORD size, int reads);
    void NoteData();   // a read brought data: a gap before it is counted
    DWORD ReceiveThreadProc();
    static DWORD GlobalReceiveThreadProc(void* receiver);

    void CloseEvents();
    void Notify(WORD programNumber, int updateType);

    class COwnTables;   // the handlers above, as a table listener

    CThread* m_receiveThread = nullptr;
    // A thread that did not end within its time-out: kept, with the events it still
    // uses, until the destructor has seen it end.
    CThread* m_abandonedThread = nullptr;
    CEvent* m_receivingEvent = nullptr;   // manual, set by Start, reset by Stop
    CEvent* m_stopEvent = nullptr;        // manual, set by Stop, reset by Start
    CEvent* m_exitEvent = nullptr;        // manual, set by DeInitialise
    CEvent* m_threadEndedEvent = nullptr; // manual, set as the thread returns
    CEvent* m_stoppedEvent = nullptr;     // manual, reset while a period runs

    // Written by the receive thread (and Start, Reset), read anywhere without a lock.
    std::atomic<std::uint64_t> m_packetCounter{0};
    CDVBPIDRegistry m_pidTable;
    CDVBProgramList m_programs;   // sorted by program number
    CCriticalSection m_programsLock;
    CDVBProgramListUpdater m_programsUpdater{m_programs, m_programsLock, true,
                                             [this](WORD program, int update) { Notify(program, update); }};
    // Written by the receive thread (and Reset), read by the queries on any thread.
    std::atomic<bool> m_receivedPAT{false};
    std::atomic<WORD> m_transportStreamId{0xFFFF};
    std::atomic<std::uint64_t> m_packetsAtLastSecond{0};
    std::atomic<int> m_bitrate{0};
    CDVBTransportStreamSource* m_source;
    CDVBTransportStreamUpdateHandler* m_updateHandler;
    CClock* m_clock;
    CDVBRecorder m_recorder;
    std::atomic<CDVBSICollector*> m_siCollector{nullptr};
    std::atomic<CDVBStreamAnalyser*> m_analyser{nullptr};
    std::array<std::atomic<CDVBTableListener*>, MaxTableListeners> m_tableListeners{};
    std::atomic<bool> m_dataBeingReceived{false};
    std::atomic<std::int64_t> m_lastData{0};   // system clock of the last read with data; 0: none yet
    std::atomic<std::uint64_t> m_gaps{0};
    std::atomic<std::int64_t> m_gapTime{0};
    std::atomic<int> m_secondsSinceStart{0};
    CDVBReferencePointTracker m_referencePoints{50};
    std::int64_t m_lastSecond = 0;   // receive thread only
};
