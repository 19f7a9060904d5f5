#pragma once
// Records one service as a single-program transport stream, as a personal video recorder
// does: the service's program map, elementary and PCR PIDs copied untouched; a PAT
// rewritten to name only this service; the actual SDT reduced to its entry; its own
// present/following EIT sections. Everything else is left out. Rewritten sections are
// sent when the originals complete, on their PIDs with continuity counters of their own.
#include "core/CDVBRecordingFilter.h"

#include <bitset>
#include <cstdint>
#include <memory>
#include <vector>

class CDVBSectionTap;

class CDVBServiceRecordingFilter : public CDVBRecordingFilter
{
public:
    explicit CDVBServiceRecordingFilter(WORD serviceId);
    ~CDVBServiceRecordingFilter() override;

    void Reset() override;
    DWORD Filter(const BYTE* read, DWORD length, BYTE* out, DWORD capacity) override;

    WORD GetServiceId() const { return m_serviceId; }
    // Packets that did not fit the buffer they were to go into.
    std::uint64_t GetPacketsLost() const { return m_packetsLost; }

private:
    void OnSection(WORD pid, const BYTE* section, DWORD length);
    void OnPAT(const BYTE* section, DWORD length);
    void OnPMT(const BYTE* section, DWORD length);
    void OnSDT(const BYTE* section, DWORD length);
    // Queues `section` (CRC recomputed) as packets of `pid` for the output.
    void Send(WORD pid, std::vector<BYTE> section);

    const WORD m_serviceId;
    WORD m_pmtPid = 0xFFFF;
    std::bitset<8192> m_copied;   // the program map's PID, its elementary and PCR PIDs
    std::unique_ptr<CDVBSectionTap> m_pat, m_pmt, m_sdt, m_eit;
    BYTE m_continuity[3] = {};     // PAT, SDT, EIT as we send them
    std::vector<BYTE> m_pending;   // rewritten packets waiting for the output
    std::uint64_t m_packetsLost = 0;
};
