#include "si/CDVBServiceRecordingFilter.h"

#include "core/CDVBByteReader.h"
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

// Section 0 of 0: the first `header` bytes of `section`, then `entry`, then room for the CRC.
std::vector<BYTE> SectionOfOne(const BYTE* section, std::size_t header, const CDVBByteReader& entry)
{
    std::vector<BYTE> one(section, section + header);
    one.insert(one.end(), entry.Data(), entry.Data() + entry.Remaining());
    one[6] = one[7] = 0;
    one.resize(one.size() + 4);
    return one;
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
    CDVBSISection header;
    CDVBByteReader body;
    if (!header.ParseHeader(section, length, body) || !header.m_sectionSyntaxIndicator)
        return;   // every table kept here is long-form: header, body and CRC
    if (pid == kPATPid && header.m_tableId == 0x00)
        OnPAT(section, length);
    else if (pid == 0xFFFF && header.m_tableId == 0x02)
        OnPMT(section, length);
    else if (pid == kSDTPid && header.m_tableId == kSDTActual)
        OnSDT(section, length);
    else if (pid == kEITPid && header.m_tableId == kEITPresentFollowingActual && header.m_tableIdExtension == m_serviceId)
        Send(kEITPid, std::vector<BYTE>(section, section + length));   // this service's now and next
}

void CDVBServiceRecordingFilter::OnPAT(const BYTE* section, DWORD length)
{
    CDVBSISection header;
    CDVBByteReader body, entry;
    if (!header.ParseHeader(section, length, body))
        return;
    while (body.Split(4, entry)) {   // fewer trailing bytes are not a program
        CDVBByteReader fields = entry;
        WORD number = 0, pid = 0;
        if (!fields.ReadWord(number) || !fields.ReadWord(pid) || number != m_serviceId)
            continue;
        const WORD pmtPid = WORD(pid & 0x1FFF);
        if (pmtPid != m_pmtPid) {
            m_copied.reset();   // a new map: its PIDs come when it does
            m_pmtPid = pmtPid;
            m_pmt->Start();
        }
        m_copied.set(pmtPid);
        Send(kPATPid, SectionOfOne(section, 8, entry));
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
    CDVBSISection header;
    CDVBByteReader body, service;
    WORD originalNetworkId = 0;
    BYTE reserved = 0;
    if (!header.ParseHeader(section, length, body) || !body.ReadWord(originalNetworkId) || !body.ReadByte(reserved))
        return;
    while (body.Remaining() >= 5) {   // service_id, flags and a counted descriptor loop
        CDVBByteReader fields = body;   // read ahead to learn the service's length
        WORD serviceId = 0, loop = 0;
        BYTE flags = 0;
        if (!fields.ReadWord(serviceId) || !fields.ReadByte(flags) || !fields.ReadWord(loop) ||
            !body.Split(WORD(5 + (loop & 0x0FFF)), service))
            return;   // a loop that lies: send nothing
        if (serviceId == m_serviceId) {
            Send(kSDTPid, SectionOfOne(section, 11, service));
            return;
        }
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
