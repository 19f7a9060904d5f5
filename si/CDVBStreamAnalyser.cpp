#include "si/CDVBStreamAnalyser.h"

#include "platform/CSingleLock.h"
#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBLogicalChannelDescriptor.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTeletextDescriptor.h"
#include "si/CDVBText.h"
#include "si/CalculateCRC32.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::int64_t PCRWrap = (std::int64_t(1) << 33) * 300;
constexpr std::int64_t Ms = 27000;   // 27 MHz ticks
constexpr std::int64_t PCRRepetitionLimit = 40 * Ms;
constexpr std::int64_t PCRDiscontinuityLimit = 100 * Ms;
constexpr std::int64_t TableLimit = 500 * Ms;
constexpr std::int64_t PTSLimit = 700 * Ms;
constexpr std::int64_t PIDLimit = 5000 * Ms;
constexpr std::int64_t TimeStepLimit = 1000 * Ms;
constexpr WORD NullPid = 0x1FFF;

enum Role : BYTE {
    RoleStream,            // PES, or not yet known
    RoleSections,          // PSI/SI: sections collected
    RoleStreamOfSections   // an elementary stream of private sections: neither
};

bool CarriesSections(BYTE streamType)
{
    return streamType == 0x05 || (streamType >= 0x0A && streamType <= 0x0D) || streamType == 0x86;
}

std::int64_t TimeStamp(const BYTE* coded)
{
    return (std::int64_t(coded[0] & 0x0E) << 29) | (std::int64_t(coded[1]) << 22) | (std::int64_t(coded[2] & 0xFE) << 14) |
           (std::int64_t(coded[3]) << 7) | (coded[4] >> 1);
}

// elapsed ticks for `packets` at the rate of the sums; exact in 128 bits
std::int64_t TicksFor(std::uint64_t packets, std::uint64_t sumTicks, std::uint64_t sumPackets)
{
    if (sumPackets == 0)
        return 0;
    return std::int64_t(static_cast<unsigned __int128>(packets) * sumTicks / sumPackets);
}

void Sample(double value, std::uint64_t& n, double& sum, double& min, double& max)
{
    min = n == 0 ? value : std::min(min, value);
    max = n == 0 ? value : std::max(max, value);
    sum += value;
    ++n;
}

std::optional<CDVBStreamAnalysis::Range> Summary(std::uint64_t n, double sum, double min, double max)
{
    if (n == 0)
        return std::nullopt;
    return CDVBStreamAnalysis::Range{sum / double(n), min, max};
}

std::string Language(const char* code)
{
    return code[0] != 0 ? std::string(" (") + code + ")" : std::string();
}

std::string DescribeStream(BYTE type, const CDVBDescriptorList& descriptors)
{
    std::string language;
    if (const auto* iso = static_cast<const CDVBISO639LanguageDescriptor*>(descriptors.FindDescriptor(CDVBISO639LanguageDescriptor::Tag)))
        language = Language(iso->m_languageCode);
    switch (type) {
    case 0x01: return "MPEG-1 video";
    case 0x02: return "MPEG-2 video";
    case 0x03: return "MPEG-1 audio" + language;
    case 0x04: return "MPEG-2 audio" + language;
    case 0x05: return "Private sections";
    case 0x0F: return "AAC audio" + language;
    case 0x11: return "AAC (LATM) audio" + language;
    case 0x1B: return "H.264 video";
    case 0x24: return "HEVC video";
    case 0x81: return "AC-3 audio" + language;
    case 0x86: return "SCTE 35 splices";
    default: break;
    }
    if (CarriesSections(type))
        return "DSM-CC";
    if (type == 0x06) {
        if (const auto* t = static_cast<const CDVBTeletextDescriptor*>(descriptors.FindDescriptor(CDVBTeletextDescriptor::Tag)))
            return "Teletext" + Language(t->m_languageCode);
        if (const auto* s = static_cast<const CDVBSubtitlingDescriptor*>(descriptors.FindDescriptor(CDVBSubtitlingDescriptor::Tag)))
            return "DVB subtitles" + Language(s->m_languageCode);
        if (descriptors.FindDescriptor(0x6A))
            return "AC-3 audio" + language;
        if (descriptors.FindDescriptor(0x7A))
            return "E-AC-3 audio" + language;
        if (descriptors.FindDescriptor(0x7C))
            return "AAC audio" + language;
        return "Private data";
    }
    char text[24];
    std::snprintf(text, sizeof text, "Stream type 0x%02X", unsigned(type));
    return text;
}

}   // namespace

struct CDVBStreamAnalyser::SectionBuffer
{
    BYTE data[4096 + 3];
    DWORD collected = 0;
    DWORD expected = 0;   // 0 until the 3-byte header is in
};

struct CDVBStreamAnalyser::PidState
{
    explicit PidState(WORD p) : pid(p), role(p <= 0x1F ? RoleSections : RoleStream) {}

    WORD pid;
    std::uint64_t packets = 0, af = 0, pcr = 0, pts = 0, dts = 0;
    std::uint64_t discontinuities = 0, duplicated = 0, unitStart = 0, pes = 0, invalidPesPrefix = 0, scrambled = 0;
    std::int64_t firstPcr = -1, lastPcr = -1, firstPts = -1, lastPts = -1, firstDts = -1, lastDts = -1;
    std::int8_t lastCounter = -1;
    bool repeat = false;
    Role role;
    bool named = false;     // an elementary stream of a program map
    bool watched = false;   // for PID_error
    bool pidFlagged = false;
    bool isPmt = false;
    bool hasPtsTime = false;
    std::int64_t lastSeenTime = 0;
    std::int64_t lastPtsTime = 0;
    // PCR: the previous one, and the intervals summed for the rate
    std::int64_t previousPcr = -1;
    std::uint64_t previousPcrPacket = 0;
    std::uint64_t sumTicks = 0;
    std::uint64_t sumPackets = 0;
    std::unique_ptr<SectionBuffer> sections;
};

struct CDVBStreamAnalyser::TableState
{
    std::uint64_t sections = 0, tables = 0, versions = 0;
    int firstVersion = -1, lastVersion = -1;
    std::vector<DWORD> crcs;   // per section_number, of what was last read
    std::int64_t lastZeroPacket = -1;
    std::int64_t lastZeroTime = -1;
    std::uint64_t packetsN = 0, msN = 0;
    double packetsSum = 0, packetsMin = 0, packetsMax = 0;
    double msSum = 0, msMin = 0, msMax = 0;
};

struct CDVBStreamAnalyser::ServiceState
{
    int pmtPid = -1;   // -1 while the current PAT does not name the program
    int pcrPid = -1;
    std::vector<std::pair<WORD, BYTE>> streams;   // PID, stream_type
    std::string name, provider;
    int type = -1;
};

CDVBStreamAnalyser::CDVBStreamAnalyser()
{
    Reset();
}

CDVBStreamAnalyser::~CDVBStreamAnalyser() = default;

void CDVBStreamAnalyser::Reset()
{
    CSingleLock guard(m_lock);
    m_slots.fill(nullptr);
    m_states.clear();
    m_tables.clear();
    m_services.clear();
    m_channelNumbers.clear();
    m_descriptions.clear();
    m_watchedPmts.clear();
    m_watchedPids.clear();
    for (auto& count : m_counts)
        count = CDVBStreamAnalysis::Count();
    m_packet = m_packets = 0;
    m_tsid = -1;
    m_badSyncRun = m_goodSyncRun = 0;
    m_inSync = true;
    m_catSeen = false;
    m_referencePid = -1;
    m_referenceTime = 0;
    m_referencePacket = 0;
    m_pat = Watch{0, 0, false};
    m_patVersion = -1;
    m_patSections.clear();
}

CDVBStreamAnalyser::PidState& CDVBStreamAnalyser::State(WORD pid)
{
    if (m_slots[pid] == nullptr)
        m_slots[pid] = &m_states.emplace_back(pid);
    return *m_slots[pid];
}

void CDVBStreamAnalyser::AnalysePackets(const BYTE* packets, DWORD length)
{
    CSingleLock guard(m_lock);
    for (DWORD offset = 0; offset + PacketSize <= length; offset += PacketSize) {
        m_packet = m_packets++;
        AnalysePacket(packets + offset);
    }
}

std::uint64_t CDVBStreamAnalyser::GetCount(int indicator) const
{
    CSingleLock guard(m_lock);
    return indicator >= 0 && indicator < CDVBStreamAnalysis::IndicatorCount ? m_counts[indicator].count : 0;
}

void CDVBStreamAnalyser::Raise(int indicator)
{
    CDVBStreamAnalysis::Count& count = m_counts[indicator];
    if (count.count++ == 0)
        count.firstPacket = m_packet;
}

void CDVBStreamAnalyser::AnalysePacket(const BYTE* packet)
{
    if (packet[0] != 0x47) {
        Raise(CDVBStreamAnalysis::SyncByteError);
        m_goodSyncRun = 0;
        if (++m_badSyncRun >= 2 && m_inSync) {
            m_inSync = false;
            Raise(CDVBStreamAnalysis::TSSyncLoss);
        }
        return;
    }
    m_badSyncRun = 0;
    if (!m_inSync && ++m_goodSyncRun >= 5)
        m_inSync = true;

    const WORD pid = WORD(((packet[1] & 0x1F) << 8) | packet[2]);
    PidState* slot = m_slots[pid];
    PidState& state = slot ? *slot : State(pid);
    ++state.packets;
    const BYTE control = BYTE(packet[3] >> 4 & 3);
    const std::int8_t counter = std::int8_t(packet[3] & 0x0F);
    if (packet[1] & 0x80) {
        Raise(CDVBStreamAnalysis::TransportError);
        if (control & 1) {
            state.lastCounter = counter;
            state.repeat = false;
        }
        if (state.sections)
            state.sections->collected = state.sections->expected = 0;
        return;
    }

    bool discontinuity = false;
    std::int64_t pcr = -1;
    DWORD payloadStart = 4;
    if (control & 2) {
        const BYTE length = packet[4];
        payloadStart = 5 + DWORD(length);
        if (length >= 1 && length <= 183) {
            const BYTE flags = packet[5];
            discontinuity = (flags & 0x80) != 0;
            if ((flags & 0x10) && length >= 7) {
                const BYTE* p = packet + 6;
                const std::int64_t base = (std::int64_t(p[0]) << 25) | (std::int64_t(p[1]) << 17) | (std::int64_t(p[2]) << 9) |
                                          (std::int64_t(p[3]) << 1) | (p[4] >> 7);
                pcr = base * 300 + (((p[4] & 1) << 8) | p[5]);
            }
        }
    }

    if (pid != NullPid && (control & 1)) {
        const std::int8_t next = std::int8_t((state.lastCounter + 1) & 0x0F);
        if (state.lastCounter < 0 || counter == next) {
            state.repeat = false;
        } else if (counter == state.lastCounter && !state.repeat && !discontinuity) {
            state.repeat = true;
            ++state.duplicated;
            return;   // a copy: nothing more to learn from it
        } else {
            if (!discontinuity) {
                ++state.discontinuities;
                Raise(CDVBStreamAnalysis::ContinuityCountError);
            }
            if (state.sections)
                state.sections->collected = state.sections->expected = 0;
            state.repeat = false;
        }
        state.lastCounter = counter;
    }

    if (packet[3] & 0xC0) {
        ++state.scrambled;
        if (pid == 0)
            Raise(CDVBStreamAnalysis::PATError);
        else if (state.isPmt)
            Raise(CDVBStreamAnalysis::PMTError);
        if (!m_catSeen)
            Raise(CDVBStreamAnalysis::CATError);
    }
    if (control & 2)
        ++state.af;
    const bool reference = pcr >= 0 && OnPCR(state, pid, pcr, discontinuity);
    const bool start = (packet[1] & 0x40) != 0;
    if (start)
        ++state.unitStart;
    if (state.watched) {
        // an elementary stream is timed by the last reference PCR alone: no division a packet
        if (!state.pidFlagged && m_referencePid >= 0 && m_referenceTime - state.lastSeenTime > PIDLimit)
            Raise(CDVBStreamAnalysis::PIDError);
        state.lastSeenTime = m_referenceTime;
        state.pidFlagged = false;
    }
    if (pid != NullPid && (control & 1) && payloadStart < PacketSize) {
        const BYTE* payload = packet + payloadStart;
        const DWORD length = PacketSize - payloadStart;
        if (state.role == RoleSections)
            Collect(state, pid, payload, length, start);
        else if (start && state.role == RoleStream)
            OnPESStart(state, payload, length);
    }
    if (reference)
        CheckTimeLimits();
}

bool CDVBStreamAnalyser::OnPCR(PidState& state, WORD pid, std::int64_t pcr, bool discontinuity)
{
    ++state.pcr;
    if (state.firstPcr < 0)
        state.firstPcr = pcr;
    state.lastPcr = pcr;
    const bool hadPrevious = state.previousPcr >= 0;
    std::int64_t delta = 0;
    if (hadPrevious && !discontinuity) {
        delta = ((pcr - state.previousPcr) % PCRWrap + PCRWrap) % PCRWrap;
        const std::uint64_t packets = m_packet - state.previousPcrPacket;
        if (delta > PCRRepetitionLimit)
            Raise(CDVBStreamAnalysis::PCRRepetitionError);
        if (delta > PCRDiscontinuityLimit)
            Raise(CDVBStreamAnalysis::PCRDiscontinuityIndicatorError);
        if (state.sumPackets > 0) {
            const __int128 measured = static_cast<__int128>(delta) * state.sumPackets;
            const __int128 expected = static_cast<__int128>(packets) * state.sumTicks;
            const __int128 error = measured > expected ? measured - expected : expected - measured;
            if (error * 2 > static_cast<__int128>(27) * state.sumPackets)
                Raise(CDVBStreamAnalysis::PCRAccuracyError);
        }
        if (delta <= PCRDiscontinuityLimit) {
            state.sumTicks += std::uint64_t(delta);
            state.sumPackets += packets;
        }
    }

    if (m_referencePid < 0) {
        m_referencePid = pid;
        m_referenceTime = 0;
    } else if (pid == m_referencePid) {
        if (hadPrevious && !discontinuity && delta <= TimeStepLimit)
            m_referenceTime += delta;
        else
            m_referenceTime += TicksFor(m_packet - m_referencePacket, state.sumTicks, state.sumPackets);
    }
    state.previousPcr = pcr;
    state.previousPcrPacket = m_packet;
    if (pid != m_referencePid)
        return false;
    m_referencePacket = m_packet;
    return true;
}

std::int64_t CDVBStreamAnalyser::TimeNow() const
{
    if (m_referencePid < 0)
        return -1;
    const PidState& reference = *m_slots[m_referencePid];
    return m_referenceTime + TicksFor(m_packet - m_referencePacket, reference.sumTicks, reference.sumPackets);
}

void CDVBStreamAnalyser::CheckTimeLimits()
{
    auto check = [this](Watch& watch, std::int64_t limit, int indicator) {
        if (!watch.flagged && m_referenceTime - watch.last > limit) {
            watch.flagged = true;
            Raise(indicator);
        }
    };
    check(m_pat, TableLimit, CDVBStreamAnalysis::PATError);
    for (Watch& watch : m_watchedPmts)
        check(watch, TableLimit, CDVBStreamAnalysis::PMTError);
    for (WORD pid : m_watchedPids) {
        PidState& state = State(pid);
        if (!state.pidFlagged && m_referenceTime - state.lastSeenTime > PIDLimit) {
            state.pidFlagged = true;
            Raise(CDVBStreamAnalysis::PIDError);
        }
    }
}

void CDVBStreamAnalyser::Arrive(Watch& watch, std::int64_t limit, int indicator)
{
    const std::int64_t now = TimeNow();
    if (now < 0)
        return;
    if (!watch.flagged && now - watch.last > limit)
        Raise(indicator);
    watch.last = now;
    watch.flagged = false;
}

void CDVBStreamAnalyser::OnPESStart(PidState& state, const BYTE* payload, DWORD length)
{
    if (length < 3 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) {
        if (state.named)
            ++state.invalidPesPrefix;
        return;
    }
    ++state.pes;
    if (length < 9)
        return;
    const BYTE streamId = payload[3];
    if (streamId == 0xBC || streamId == 0xBE || streamId == 0xBF || streamId == 0xF0 || streamId == 0xF1 ||
        streamId == 0xF2 || streamId == 0xF8 || streamId == 0xFF || (payload[6] & 0xC0) != 0x80)
        return;
    const int flags = payload[7] >> 6;
    if ((flags & 2) && length >= 14) {
        const std::int64_t pts = TimeStamp(payload + 9);
        ++state.pts;
        if (state.firstPts < 0)
            state.firstPts = pts;
        state.lastPts = pts;
        const std::int64_t now = TimeNow();
        if (now >= 0) {
            if (state.hasPtsTime && now - state.lastPtsTime > PTSLimit)
                Raise(CDVBStreamAnalysis::PTSError);
            state.lastPtsTime = now;
            state.hasPtsTime = true;
        }
    }
    if (flags == 3 && length >= 19) {
        const std::int64_t dts = TimeStamp(payload + 14);
        ++state.dts;
        if (state.firstDts < 0)
            state.firstDts = dts;
        state.lastDts = dts;
    }
}

void CDVBStreamAnalyser::Collect(PidState& state, WORD pid, const BYTE* payload, DWORD length, bool start)
{
    if (!state.sections)
        state.sections = std::make_unique<SectionBuffer>();
    SectionBuffer& buffer = *state.sections;
    if (!start) {
        Append(buffer, pid, payload, length, false);
        return;
    }
    const DWORD pointer = payload[0];
    ++payload;
    --length;
    if (pointer > 0)
        Append(buffer, pid, payload, std::min(pointer, length), false);   // the end of the section before
    if (pointer < length)
        Append(buffer, pid, payload + pointer, length - pointer, true);
    else
        buffer.collected = buffer.expected = 0;   // nothing starts where the pointer says
}

void CDVBStreamAnalyser::Append(SectionBuffer& buffer, WORD pid, const BYTE* data, DWORD length, bool start)
{
    if (start)
        buffer.collected = buffer.expected = 0;
    else if (buffer.collected == 0)
        return;   // the middle of a section whose start never came
    while (length > 0) {
        // the 3-byte header first, then what it says the section still lacks
        const DWORD wanted = buffer.expected ? buffer.expected - buffer.collected : 3 - buffer.collected;
        const DWORD n = std::min(length, wanted);
        std::memcpy(buffer.data + buffer.collected, data, n);
        buffer.collected += n;
        data += n;
        length -= n;
        if (buffer.expected == 0 && buffer.collected >= 3) {
            buffer.expected = 3 + (DWORD(buffer.data[1] & 0x0F) << 8 | buffer.data[2]);
            if (buffer.expected > 4096) {   // longer than any section may be
                buffer.collected = buffer.expected = 0;
                return;
            }
        }
        if (buffer.expected == 0 || buffer.collected < buffer.expected)
            continue;
        const DWORD size = buffer.expected;
        buffer.collected = buffer.expected = 0;
        OnSection(pid, buffer.data, size);
        // sections back to back until stuffing
        if (length == 0 || data[0] == 0xFF)
            return;
    }
}

void CDVBStreamAnalyser::OnSection(WORD pid, const BYTE* section, DWORD length)
{
    const BYTE tableId = section[0];
    const bool longForm = (section[1] & 0x80) != 0;
    if (longForm || tableId == 0x73) {
        if (length < (longForm ? 12u : 7u) || CalculateCRC32(section, int(length)) != 0) {
            Raise(CDVBStreamAnalysis::CRCError);
            return;
        }
    }
    if (pid == 0 && tableId != 0x00)
        Raise(CDVBStreamAnalysis::PATError);
    if (pid == 1 && tableId != 0x01)
        Raise(CDVBStreamAnalysis::CATError);

    const WORD extension = longForm ? WORD(section[3] << 8 | section[4]) : 0;
    TableState& table = m_tables[std::uint64_t(pid) << 24 | std::uint64_t(tableId) << 16 | extension];
    ++table.sections;
    const int sectionNumber = longForm ? section[6] : 0;
    if (longForm) {
        const int version = section[5] >> 1 & 0x1F;
        if (table.lastVersion != version)
            ++table.versions;
        if (table.firstVersion < 0)
            table.firstVersion = version;
        table.lastVersion = version;
        if (section[6] == section[7])
            ++table.tables;
    } else {
        ++table.tables;
    }
    if (sectionNumber == 0) {
        const std::int64_t now = TimeNow();
        if (table.lastZeroPacket >= 0)
            Sample(double(m_packet - std::uint64_t(table.lastZeroPacket)), table.packetsN, table.packetsSum,
                   table.packetsMin, table.packetsMax);
        if (table.lastZeroTime >= 0 && now >= 0)
            Sample(double(now - table.lastZeroTime) / double(Ms), table.msN, table.msSum, table.msMin, table.msMax);
        table.lastZeroPacket = std::int64_t(m_packet);
        table.lastZeroTime = now;
    }

    if (pid == 0 && tableId == 0x00)
        Arrive(m_pat, TableLimit, CDVBStreamAnalysis::PATError);
    else if (pid == 1 && tableId == 0x01)
        m_catSeen = true;
    const bool programMap = tableId == 0x02 && State(pid).isPmt;
    if (programMap)
        for (Watch& watch : m_watchedPmts)
            if (watch.pid == pid)
                Arrive(watch, TableLimit, CDVBStreamAnalysis::PMTError);
    // what the services are made of, read again only when it changed (a program map also
    // when its program came back into the PAT)
    if (!longForm)
        return;
    const bool changed = Changed(table, section, length);
    if (programMap) {
        const auto service = m_services.find(extension);
        CDVBPMTSection pmt;
        if ((changed || (service != m_services.end() && service->second.streams.empty())) && pmt.Parse(section, length))
            OnPMT(pid, pmt);
        return;
    }
    if (!changed)
        return;
    if (pid == 0 && tableId == 0x00) {
        CDVBPATSection pat;
        if (pat.Parse(section, length))
            OnPAT(pat);
    } else if (pid == 0x11 && tableId == 0x42) {
        CDVBSDTSection sdt;
        if (sdt.Parse(section, length))
            OnSDT(sdt);
    } else if (pid == 0x10 && tableId == 0x40) {
        CDVBNITSection nit;
        if (nit.Parse(section, length))
            OnNIT(nit);
    }
}

bool CDVBStreamAnalyser::Changed(TableState& table, const BYTE* section, DWORD length)
{
    const BYTE number = section[6];
    const DWORD crc = DWORD(section[length - 4]) << 24 | DWORD(section[length - 3]) << 16 |
                      DWORD(section[length - 2]) << 8 | section[length - 1];
    if (table.crcs.size() <= number)
        table.crcs.resize(std::size_t(number) + 1, 0);
    else if (table.crcs[number] == crc)
        return false;
    table.crcs[number] = crc;
    return true;
}

void CDVBStreamAnalyser::OnPAT(const CDVBPATSection& pat)
{
    m_tsid = pat.m_tableIdExtension;
    if (pat.m_versionNumber != m_patVersion)
        m_patSections.clear();   // a new version: what the old one named goes with it
    m_patVersion = pat.m_versionNumber;
    std::vector<std::pair<WORD, WORD>>& programs = m_patSections[pat.m_sectionNumber];
    programs.clear();
    for (const CDVBPATEntry* entry : pat.m_entries)
        if (entry->m_programNumber != 0)   // 0 names the network's PID
            programs.push_back({entry->m_programNumber, WORD(entry->m_pid & 0x1FFF)});
    SyncStructure();
}

void CDVBStreamAnalyser::OnPMT(WORD pid, const CDVBPMTSection& pmt)
{
    const auto found = m_services.find(pmt.m_tableIdExtension);
    if (found == m_services.end() || found->second.pmtPid != pid)
        return;   // a program map the PAT does not name there
    ServiceState& service = found->second;
    service.pcrPid = pmt.m_pcrPid & 0x1FFF;
    service.streams.clear();
    for (const CDVBPMTEntry* entry : pmt.m_entries) {
        const WORD es = WORD(entry->m_elementaryPid & 0x1FFF);
        service.streams.push_back({es, entry->m_streamType});
        m_descriptions[es] = DescribeStream(entry->m_streamType, entry->m_descriptors);
    }
    SyncStructure();
}

// Which PIDs carry program maps and elementary streams, and so what is watched, from the
// current PAT and the program maps of the programs it names.
void CDVBStreamAnalyser::SyncStructure()
{
    const std::int64_t now = std::max<std::int64_t>(TimeNow(), 0);
    std::map<WORD, WORD> programs;   // program: program map PID
    for (const auto& [number, entries] : m_patSections)
        for (const auto& [program, pmtPid] : entries)
            programs[program] = pmtPid;
    for (auto& [program, service] : m_services) {
        const auto named = programs.find(program);
        service.pmtPid = named != programs.end() ? named->second : -1;
        if (service.pmtPid < 0) {
            service.streams.clear();
            service.pcrPid = -1;
        }
    }
    for (const auto& [program, pmtPid] : programs)
        m_services[program].pmtPid = pmtPid;

    for (PidState& state : m_states) {
        state.isPmt = state.named = false;
        state.role = state.pid <= 0x1F ? RoleSections : RoleStream;
    }
    for (const auto& [program, pmtPid] : programs) {
        State(pmtPid).isPmt = true;
        State(pmtPid).role = RoleSections;
    }
    std::vector<WORD> streams;
    for (const auto& [program, service] : m_services)
        for (const auto& [pid, type] : service.streams) {
            PidState& state = State(pid);
            state.named = true;
            if (state.role != RoleSections)
                state.role = CarriesSections(type) ? RoleStreamOfSections : RoleStream;
            streams.push_back(pid);
        }
    for (PidState& state : m_states)
        if (state.role != RoleSections)
            state.sections.reset();

    // a watch starts when its PID is named and ends when it no longer is
    m_watchedPmts.erase(std::remove_if(m_watchedPmts.begin(), m_watchedPmts.end(),
                                       [this](const Watch& w) { return !State(w.pid).isPmt; }),
                        m_watchedPmts.end());
    for (const auto& [program, pmtPid] : programs)
        if (std::none_of(m_watchedPmts.begin(), m_watchedPmts.end(), [pid = pmtPid](const Watch& w) { return w.pid == pid; }))
            m_watchedPmts.push_back(Watch{pmtPid, now, false});
    for (WORD pid : m_watchedPids)
        State(pid).watched = State(pid).named;
    m_watchedPids.erase(std::remove_if(m_watchedPids.begin(), m_watchedPids.end(), [this](WORD pid) { return !State(pid).named; }),
                        m_watchedPids.end());
    for (WORD pid : streams) {
        PidState& state = State(pid);
        if (state.watched)
            continue;
        state.watched = true;
        state.lastSeenTime = m_referenceTime;
        state.pidFlagged = false;
        m_watchedPids.push_back(pid);
    }
}

void CDVBStreamAnalyser::OnSDT(const CDVBSDTSection& sdt)
{
    for (const CDVBSDTEntry* entry : sdt.m_entries) {
        const auto* descriptor =
            static_cast<const CDVBServiceDescriptor*>(entry->m_descriptors.FindDescriptor(CDVBServiceDescriptor::Tag));
        if (descriptor == nullptr)
            continue;
        ServiceState& service = m_services[entry->m_serviceId];
        service.name = CDVBText::ToUTF8(descriptor->m_serviceName);
        service.provider = CDVBText::ToUTF8(descriptor->m_providerName);
        service.type = descriptor->m_serviceType;
    }
}

void CDVBStreamAnalyser::OnNIT(const CDVBNITSection& nit)
{
    for (const CDVBNITEntry* entry : nit.m_entries) {
        if (m_tsid >= 0 && entry->m_transportStreamId != m_tsid)
            continue;
        for (const CDVBLogicalChannelDescriptor::Entry& channel : CDVBLogicalChannelDescriptor::Collect(entry->m_descriptors))
            m_channelNumbers[channel.serviceId] = {channel.number, channel.visible};
    }
}

std::string CDVBStreamAnalyser::Describe(WORD pid) const
{
    switch (pid) {
    case 0x0000: return "PAT";
    case 0x0001: return "CAT";
    case 0x0002: return "TSDT";
    case 0x0010: return "NIT";
    case 0x0011: return "SDT/BAT";
    case 0x0012: return "EIT";
    case 0x0013: return "RST";
    case 0x0014: return "TDT/TOT";
    case NullPid: return "Null packets";
    default: break;
    }
    const PidState* state = Find(pid);
    if (state && state->isPmt)
        return "PMT";
    const auto found = m_descriptions.find(pid);
    if (found != m_descriptions.end())
        return found->second;
    for (const auto& [id, service] : m_services)
        if (service.pcrPid == pid)
            return "PCR";
    return state && state->role == RoleSections ? "Sections" : "";
}

CDVBStreamAnalysis CDVBStreamAnalyser::GetAnalysis() const
{
    CSingleLock guard(m_lock);
    CDVBStreamAnalysis analysis;
    if (m_tsid >= 0)
        analysis.transportStreamId = WORD(m_tsid);
    analysis.packets = m_packets;
    analysis.invalidSyncs = m_counts[CDVBStreamAnalysis::SyncByteError].count;
    analysis.transportErrors = m_counts[CDVBStreamAnalysis::TransportError].count;
    double bitrate = 0;
    if (m_referencePid >= 0) {
        const PidState& reference = *m_slots[m_referencePid];
        if (reference.sumTicks > 0) {
            bitrate = double(reference.sumPackets) * PacketSize * 8 * 27e6 / double(reference.sumTicks);
            analysis.bitrate = bitrate;
            analysis.duration = double(m_packets) * PacketSize * 8 / bitrate;
        }
    }
    auto share = [&](std::uint64_t packets) { return m_packets ? bitrate * double(packets) / double(m_packets) : 0.0; };

    for (const auto& [id, state] : m_services) {
        if (state.pmtPid < 0)
            continue;   // not in the PAT: an SDT entry of a service elsewhere
        CDVBStreamAnalysis::Service service;
        service.id = id;
        service.pmtPid = WORD(state.pmtPid);
        if (state.pcrPid >= 0 && state.pcrPid != NullPid)
            service.pcrPid = WORD(state.pcrPid);
        service.name = state.name;
        service.provider = state.provider;
        if (state.type >= 0)
            service.type = state.type;
        const auto channel = m_channelNumbers.find(id);
        if (channel != m_channelNumbers.end()) {
            service.lcn = channel->second.first;
            service.lcnVisible = channel->second.second;
        }
        for (const auto& stream : state.streams)
            service.pids.push_back(stream.first);
        service.pids.push_back(service.pmtPid.value());
        if (service.pcrPid)
            service.pids.push_back(*service.pcrPid);
        std::sort(service.pids.begin(), service.pids.end());
        service.pids.erase(std::unique(service.pids.begin(), service.pids.end()), service.pids.end());
        for (WORD pid : service.pids)
            if (const PidState* state = Find(pid))
                service.packets += state->packets;
        service.bitrate = share(service.packets);
        analysis.services.push_back(std::move(service));
    }
    std::stable_sort(analysis.services.begin(), analysis.services.end(), [](const auto& a, const auto& b) {
        return a.lcn.value_or(1 << 20) < b.lcn.value_or(1 << 20);
    });

    for (WORD pid = 0; pid < m_slots.size(); ++pid) {
        const PidState* found = Find(pid);
        if (found == nullptr || found->packets == 0)
            continue;
        const PidState& state = *found;
        CDVBStreamAnalysis::Pid out;
        out.pid = pid;
        out.description = Describe(pid);
        for (const CDVBStreamAnalysis::Service& service : analysis.services)
            if (std::binary_search(service.pids.begin(), service.pids.end(), pid))
                out.serviceIds.push_back(service.id);
        std::sort(out.serviceIds.begin(), out.serviceIds.end());
        out.packets = state.packets;
        out.af = state.af;
        out.pcr = state.pcr;
        out.pts = state.pts;
        out.dts = state.dts;
        auto value = [](std::int64_t v) { return v >= 0 ? std::optional<std::int64_t>(v) : std::nullopt; };
        out.firstPcr = value(state.firstPcr);
        out.lastPcr = value(state.lastPcr);
        out.firstPts = value(state.firstPts);
        out.lastPts = value(state.lastPts);
        out.firstDts = value(state.firstDts);
        out.lastDts = value(state.lastDts);
        out.discontinuities = state.discontinuities;
        out.duplicated = state.duplicated;
        out.unitStart = state.unitStart;
        out.pes = state.pes;
        out.invalidPesPrefix = state.invalidPesPrefix;
        out.scrambled = state.scrambled;
        out.bitrate = share(state.packets);
        analysis.pids.push_back(std::move(out));
    }

    for (const auto& [key, state] : m_tables) {
        CDVBStreamAnalysis::Table table;
        table.pid = WORD(key >> 24);
        table.tableId = BYTE(key >> 16);
        table.tableIdExtension = WORD(key);
        table.sections = state.sections;
        table.tables = state.tables;
        table.versions = state.versions;
        if (state.firstVersion >= 0) {
            table.firstVersion = state.firstVersion;
            table.lastVersion = state.lastVersion;
        }
        table.repetitionPackets = Summary(state.packetsN, state.packetsSum, state.packetsMin, state.packetsMax);
        table.repetitionMs = Summary(state.msN, state.msSum, state.msMin, state.msMax);
        analysis.tables.push_back(table);
    }
    for (int i = 0; i < CDVBStreamAnalysis::IndicatorCount; ++i)
        analysis.indicators[i] = m_counts[i];
    return analysis;
}
