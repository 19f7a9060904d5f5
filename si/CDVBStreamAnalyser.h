#pragma once
// Sees every packet of a stream and counts what the field measures (docs/analysis.md):
// per PID packets, adaptation fields, PCR, PTS and DTS, PES starts, continuity and
// scrambling; per table sections, versions and repetition; the bitrate from the PCR; the
// TR 101 290 first- and second-priority indicators, timed by the stream's own PCR so that a
// file gives the same answer at any reading speed. It reads the PAT, PMTs, actual SDT and
// NIT itself, for the services, their names and channel numbers.
//
// A receiver hands it each read (CDVBTransportStreamReceiver::SetStreamAnalyser), or a
// caller any run of packets. Nothing is allocated per packet: a PID's state when the PID
// first comes, a section buffer when it turns out to carry sections, a table's and a
// service's entry when they first come.
//
// Threads: AnalysePackets on one thread at a time; GetAnalysis, Reset and GetCount on any
// (one lock, taken once per call).
#include "platform/CCriticalSection.h"
#include "platform/LUMTypes.h"
#include "si/CDVBStreamAnalysis.h"

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

class CDVBNITSection;
class CDVBPATSection;
class CDVBPMTSection;
class CDVBSDTSection;

class CDVBStreamAnalyser
{
public:
    static constexpr DWORD PacketSize = 188;

    CDVBStreamAnalyser();
    ~CDVBStreamAnalyser();
    CDVBStreamAnalyser(const CDVBStreamAnalyser&) = delete;
    CDVBStreamAnalyser& operator=(const CDVBStreamAnalyser&) = delete;

    // Whole packets from `packets`; bytes after the last whole one are not looked at.
    void AnalysePackets(const BYTE* packets, DWORD length);
    // Forgets everything, as if no packet had come.
    void Reset();
    CDVBStreamAnalysis GetAnalysis() const;
    // One indicator's count, cheaply, for status lines.
    std::uint64_t GetCount(int indicator) const;

private:
    struct PidState;
    struct SectionBuffer;
    struct TableState;
    struct ServiceState;
    struct Watch
    {
        WORD pid;
        std::int64_t last;   // the stream's time it last came
        bool flagged;        // its gap was counted
    };

    void AnalysePacket(const BYTE* packet);
    // True for a PCR of the reference PID, which moves the stream's time on.
    bool OnPCR(PidState& state, WORD pid, std::int64_t pcr, bool discontinuity);
    void OnPESStart(PidState& state, const BYTE* payload, DWORD length);
    void Collect(PidState& state, WORD pid, const BYTE* payload, DWORD length, bool start);
    void Append(SectionBuffer& buffer, WORD pid, const BYTE* data, DWORD length, bool start);
    void OnSection(WORD pid, const BYTE* section, DWORD length);
    bool Changed(TableState& table, const BYTE* section, DWORD length);
    void OnPAT(const CDVBPATSection& pat);
    void OnPMT(WORD pid, const CDVBPMTSection& pmt);
    void OnSDT(const CDVBSDTSection& sdt);
    void OnNIT(const CDVBNITSection& nit);
    void SyncStructure();
    // Arrival of what a watch waits for, at the current packet.
    void Arrive(Watch& watch, std::int64_t limit, int indicator);
    void CheckTimeLimits();
    // The stream's time at the current packet; -1 before the first reference PCR.
    std::int64_t TimeNow() const;
    void Raise(int indicator);
    std::string Describe(WORD pid) const;

    mutable CCriticalSection m_lock;
    PidState& State(WORD pid);               // made when its PID first comes
    const PidState* Find(WORD pid) const { return m_slots[pid]; }

    std::array<PidState*, 8192> m_slots{};   // in m_states
    std::deque<PidState> m_states;           // which keeps them in place as it grows
    std::map<std::uint64_t, TableState> m_tables;
    std::map<WORD, ServiceState> m_services;
    std::map<WORD, std::pair<int, bool>> m_channelNumbers;   // service id: number, visible
    std::map<WORD, std::string> m_descriptions;              // elementary PIDs, from the PMTs
    std::vector<Watch> m_watchedPmts;
    std::vector<WORD> m_watchedPids;
    CDVBStreamAnalysis::Count m_counts[CDVBStreamAnalysis::IndicatorCount];

    std::uint64_t m_packet = 0;   // number of the packet being analysed
    std::uint64_t m_packets = 0;
    int m_tsid = -1;
    int m_badSyncRun = 0;
    int m_goodSyncRun = 0;
    bool m_inSync = true;
    bool m_catSeen = false;
    // the stream's time: 27 MHz ticks from the reference PID's first PCR
    int m_referencePid = -1;
    std::int64_t m_referenceTime = 0;
    std::uint64_t m_referencePacket = 0;
    Watch m_pat{0, 0, false};
    int m_patVersion = -1;
    std::map<BYTE, std::vector<std::pair<WORD, WORD>>> m_patSections;   // of the current version: program, PMT PID
};
