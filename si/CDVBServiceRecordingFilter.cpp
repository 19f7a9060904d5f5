#include "si/CDVBServiceRecordingFilter.h"

#include "si/CDVBPMTSection.h"
#include "si/CDVBSectionTap.h"
#include "si/CalculateCRC32.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD kPacket = 188;
constexpr WORD kPATPid = 0x0000, kSDTPid = 0x0011, kEITPid = 0x0012;
constexpr BYTE kSDTActual = 0x42, kEITPresentFollowingActual = 0x4E;

WORD PidOf(const BYTE* packet)
{
    return WORD(((packet[1] & 0x1F) << 8) | packet[2]);
}

// Sets section_length to the bytes after it and the CRC over all before it.
void Seal(std::vector<BYTE>& section)
{
    const std::size_t length = section.size() - 3;
    section[1] = BYTE((section[1] & 0xF0) | ((length >> 8) & 0x0F));
    section[2] = BYTE(length);
    const DWORD crc = CalculateCRC32(section.data(), int(section.size() - 4));
    for (int i = 0; i < 4; ++i)
        section[section.size() - 4 + std::size_t(i)] = BYTE(crc >> (24 - 8 * i));
}

}  // namespace

CDVBServiceRecordingFilter::CDVBServiceRecordingFilter(WORD serviceId) : m_serviceId(serviceId)
{
    auto tap = [this](WORD pid) {
        return std::make_unique<CDVBSectionTap>([this, pid](const BYTE* s, DWORD n) { OnSection(pid, s, n); });
    };
    m_pat = tap(kPATPid);
    m_sdt = tap(kSDTPid);
    m_eit = tap(kEITPid);
    m_pmt = tap(0xFFFF);   // fed the program map's packets, whatever its PID
}

CDVBServiceRecordingFilter::~CDVBServiceRecordingFilter() = default;

void CDVBServiceRecordingFilter::Reset()
{
    m_pmtPid = 0xFFFF;
    m_copied.reset();
    for (CDVBSectionTap* tap : {m_pat.get(), m_pmt.get(), m_sdt.get(), m_eit.get()})
        tap->Start();
    m_pending.clear();
}

void CDVBServiceRecordingFilter::OnSection(WORD pid, const BYTE* section, DWORD length)
{
    if (length < 12 || !(section[1] & 0x80))
        return;   // every table kept here is long-form: header, body and CRC
    if (pid == kPATPid && section[0] == 0x00)
        OnPAT(section, length);
    else if (pid == 0xFFFF && section[0] == 0x02)
        OnPMT(section, length);
    else if (pid == kSDTPid && section[0] == kSDTActual)
        OnSDT(section, length);
    else if (pid == kEITPid && section[0] == kEITPresentFollowingActual &&
             WORD((section[3] << 8) | section[4]) == m_serviceId)
        Send(kEITPid, std::vector<BYTE>(section, section + length));   // this service's now and next
}

void CDVBServiceRecordingFilter::OnPAT(const BYTE* section, DWORD length)
{
    // entries of 4 bytes between the 8-byte header and the CRC
    for (DWORD at = 8; at + 4 <= length - 4; at += 4) {
        if (WORD((section[at] << 8) | section[at + 1]) != m_serviceId)
            continue;
        const WORD pmtPid = WORD(((section[at + 2] & 0x1F) << 8) | section[at + 3]);
        if (pmtPid != m_pmtPid) {
            m_copied.reset();   // a new map: its PIDs come when it does
            m_pmtPid = pmtPid;
            m_pmt->Start();
        }
        m_copied.set(pmtPid);
        std::vector<BYTE> rewritten(section, section + 8);
        rewritten.insert(rewritten.end(), section + at, section + at + 4);
        rewritten[6] = rewritten[7] = 0;   // one section of one
        rewritten.resize(rewritten.size() + 4);
        Send(kPATPid, std::move(rewritten));
        return;
    }
}

void CDVBServiceRecordingFilter::OnPMT(const BYTE* section, DWORD length)
{
    CDVBPMTSection pmt;
    if (!pmt.Parse(section, length) || pmt.m_tableIdExtension != m_serviceId)
        return;
    if (pmt.m_pcrPid < 0x1FFF)
        m_copied.set(pmt.m_pcrPid);
    for (const CDVBPMTEntry* entry : pmt.m_entries)
        m_copied.set(entry->m_elementaryPid);
}

void CDVBServiceRecordingFilter::OnSDT(const BYTE* section, DWORD length)
{
    // header and original_network_id, then services of service_id, flags and a counted
    // descriptor loop, then the CRC
    for (DWORD at = 11; at + 5 <= length - 4;) {
        const DWORD entry = 5 + (DWORD(section[at + 3] & 0x0F) << 8 | section[at + 4]);
        if (at + entry > length - 4)
            return;   // a loop that lies: send nothing
        if (WORD((section[at] << 8) | section[at + 1]) == m_serviceId) {
            std::vector<BYTE> reduced(section, section + 11);
            reduced.insert(reduced.end(), section + at, section + at + entry);
            reduced[6] = reduced[7] = 0;
            reduced.resize(reduced.size() + 4);
            Send(kSDTPid, std::move(reduced));
            return;
        }
        at += entry;
    }
}

void CDVBServiceRecordingFilter::Send(WORD pid, std::vector<BYTE> section)
{
    Seal(section);
    BYTE& continuity = m_continuity[pid == kPATPid ? 0 : pid == kSDTPid ? 1 : 2];
    for (std::size_t at = 0; at < section.size() || at == 0;) {
        BYTE packet[kPacket];
        std::memset(packet, 0xFF, kPacket);
        packet[0] = 0x47;
        packet[1] = BYTE((at == 0 ? 0x40 : 0x00) | (pid >> 8));
        packet[2] = BYTE(pid);
        packet[3] = BYTE(0x10 | (continuity++ & 0x0F));
        DWORD header = 4;
        if (at == 0)
            packet[header++] = 0;   // pointer_field
        const std::size_t n = std::min<std::size_t>(section.size() - at, kPacket - header);
        std::memcpy(packet + header, section.data() + at, n);
        at += n;
        m_pending.insert(m_pending.end(), packet, packet + kPacket);
    }
}

DWORD CDVBServiceRecordingFilter::Filter(const BYTE* read, DWORD length, BYTE* out, DWORD capacity)
{
    DWORD written = 0;
    auto emit = [&](const BYTE* bytes, std::size_t n) {
        if (written + n > capacity) {
            m_packetsLost += n / kPacket;
            return;
        }
        std::memcpy(out + written, bytes, n);
        written += DWORD(n);
    };
    for (DWORD at = 0; at + kPacket <= length; at += kPacket) {
        BYTE* packet = const_cast<BYTE*>(read + at);   // the taps only read it
        const WORD pid = PidOf(packet);
        if (pid == kPATPid)
            m_pat->OnReceivePacket(0, packet);
        else if (pid == kSDTPid)
            m_sdt->OnReceivePacket(0, packet);
        else if (pid == kEITPid)
            m_eit->OnReceivePacket(0, packet);
        if (pid == m_pmtPid)
            m_pmt->OnReceivePacket(0, packet);
        if (m_copied.test(pid))
            emit(packet, kPacket);
        if (!m_pending.empty()) {   // sections that completed with this packet
            emit(m_pending.data(), m_pending.size());
            m_pending.clear();
        }
    }
    return written;
}
