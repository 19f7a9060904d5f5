// SIStreamWriter: adds DVB SI made by libdvbpsi's generators to a transport stream made by FFmpeg.
//
// Usage:
//   SIStreamWriter --config CFG.json --in IN.ts --out OUT.ts [--report EXPECTED.json]
//                  [--repetitions R | --interval N | --si-share X] [--version-change] [--no-pack]
//                  [--drop-pat] [--drop-pmt] [--nulls-only]
//
//   --repetitions R   the whole SI carousel is sent R times, evenly spread over the input (default 8)
//   --interval N      a carousel starts every N input packets
//   --si-share X      choose the repetition count so that at least X (0..0.9) of the output packets
//                     are added SI packets; fails if it cannot be reached
//   --version-change  the second half of the repetitions uses the config with "update" applied;
//                     every sub-table whose bytes change gets version_number + 1
//   --no-pack         each section starts in a fresh packet (default: sections of one PID are
//                     packed back to back, several per packet, as real multiplexers do)
//   --nulls-only      SI packets only take the place of null packets, waiting in order for them
//                     however late; the output then has the input's packet count and timing
//                     (PCRs stay exact). Fails if packets are left over at the end
//   --drop-pat        as "drop_input": {"pat": true} in the config
//   --drop-pmt        as "drop_input": {"pmt": true} in the config
//   --report FILE     JSON with what was written, in DvbpsiDump's schema (nit, sdt, eits, tdt, tot,
//                     pat/pmts when dropped, section counts) plus a "writer" object with statistics
//
// Tables written: NIT actual (0x40, PID 0x0010), optionally SDT actual (0x42, PID 0x0011), EIT
// present/following actual (0x4E) and EIT schedule actual (0x50..0x5F) on PID 0x0012, TDT (0x70)
// and TOT (0x73) on PID 0x0014. SI packets replace the input's null packets (PID 0x1FFF) where
// there are some and are otherwise inserted; every other input packet is kept, in order, except
// the dropped ones (FFmpeg's SDT when the config has "sdt", and PAT/PMT when asked), which become
// null packets so that the multiplex keeps its timing.
//
// Config (JSON; every number is decimal, times are UTC "YYYY-MM-DD HH:MM:SS"):
// {
//   "transport_stream_id": 4660,          EIT/SDT header field; defaults to the input PAT's
//   "original_network_id": 8755,          EIT/SDT header field (required)
//   "nit": {
//     "network_id": 12289, "version": 0,
//     "network_name": "text" | "network_name_hex": "bytes in hex",
//     "transport_streams": [ { "transport_stream_id": 4660, "original_network_id": 8755,
//        "terrestrial": { "frequency_hz": 506000000 (multiple of 10), "bandwidth": 0, "priority": 1,
//          "time_slicing": 1, "mpe_fec": 1, "constellation": 2, "hierarchy": 0, "code_rate_hp": 2,
//          "code_rate_lp": 0, "guard_interval": 2, "transmission_mode": 1, "other_frequency": false } } ]
//   },
//   "sdt": { "version": 0, "services": [ SDT_SERVICE, ... ] }    optional: the writer writes the
//            SDT actual itself and drops every input packet on PID 0x0011
//   "services": [ { "service_id": 101, "eit_pf_version": 0, "eit_schedule_version": 0,
//       "present": EVENT, "following": EVENT (absent or null: section 1 carries no event),
//       "schedule": [ EVENT, ... ],
//       "schedule_generate": { "first_event_id": 1000, "start": "...", "count": 96,
//           "duration": "00:30:00", "name": "Show %d", "text_length": 120, "language": "eng" } } ],
//   "time": { "utc": "2024-03-10 12:00:00", "step_seconds": 1,
//             "local_time_offsets": [ { "country": "FRA", "region_id": 0, "offset": "+01:00",
//                 "time_of_change": "2024-03-31 01:00:00", "next_offset": "+02:00" } ] },
//   "eit_section_max_bytes": 4096,
//   "drop_input": { "pat": false, "pmt": false },    input PAT (PID 0) / the PMT PIDs the input
//                                                    PAT names become null packets
//   "cut_sections": [ CUT, ... ],
//   "update": { same shape, partial: merged into the config for the second half; "services"
//               entries are merged into the service with the same service_id, other arrays
//               (such as sdt.services) are replaced whole }
// }
// EVENT = { "event_id": 1, "start": "...", "duration": "HH:MM:SS", "running_status": 4,
//           "free_ca": false, "language": "eng", "name": "text" | "name_hex": "hex",
//           "text": "text" | "text_hex": "hex" }
// SDT_SERVICE = { "service_id": 101, "service_type": 1, "running_status": 4, "free_ca": false,
//           "eit_schedule": bool (default: the service has schedule events in "services"),
//           "eit_pf": bool (default: the service is in "services"),
//           "provider": "text" | "provider_hex": "hex", "name": "text" | "name_hex": "hex" }
// CUT = { "table": "sdt" | "eit_pf", "repetition": 0, "keep_packets": 1,
//         "services": [ SDT_SERVICE, ... ]          (sdt: the service loop of the cut section)
//         "service_id": 101, "event": EVENT }       (eit_pf: section 0 of that service)
//   In carousel "repetition" the cut section goes out first on its PID, but only its first
//   "keep_packets" packets (the section must need more). The PID's next packet starts the regular
//   sections with payload_unit_start_indicator set and pointer_field 0; the continuity counter
//   goes on by one. The cut section carries the same version and section number as the regular
//   one, so a receiver that kept its bytes would see its services or event.
// Text is written as the UTF-8 bytes of the JSON string; *_hex gives exact bytes (for example a
// character-table selector such as 05 for ISO 8859-9, then Latin bytes). Schedule events are placed
// in tables and segments from their start time relative to midnight of "time.utc": table
// 0x50 + day / 4, section segment*8 + k. TDT and TOT of repetition r carry time.utc + r * step_seconds.

#include "SIStreamWriter.h"
#include "PeerCommon.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using nlohmann::json;
using nlohmann::ordered_json;
using namespace siw;

namespace
{

// ---------------------------------------------------------------------------------------------
// Packetising and multiplexing

using Packet = std::array<uint8_t, peer::kPacketSize>;

class Packetiser
{
public:
    // Sections are laid back to back; pointer_field marks the first section starting in a packet
    // and 0xFF fills the end of the last packet.
    void Append(uint16_t pid, const std::vector<const std::vector<uint8_t>*>& sections, std::vector<Packet>& out)
    {
        std::vector<uint8_t> data;
        std::vector<std::size_t> starts;
        for (const auto* s : sections)
        {
            starts.push_back(data.size());
            data.insert(data.end(), s->begin(), s->end());
        }
        std::size_t pos = 0;
        std::size_t nextStart = 0; // index into starts
        while (pos < data.size())
        {
            Packet p;
            p.fill(0xFF);
            while (nextStart < starts.size() && starts[nextStart] < pos)
                ++nextStart;
            const bool unitStart = nextStart < starts.size() && starts[nextStart] < pos + 183;
            std::size_t room = 184;
            std::size_t payload = 4;
            if (unitStart)
            {
                p[4] = static_cast<uint8_t>(starts[nextStart] - pos);
                payload = 5;
                room = 183;
            }
            else if (nextStart < starts.size() && starts[nextStart] == pos + 183)
            {
                // A section may only begin in a packet that signals it, so this one ends a byte
                // early with stuffing.
                room = 183;
            }
            uint8_t& cc = m_cc[pid];
            p[0] = 0x47;
            p[1] = static_cast<uint8_t>((unitStart ? 0x40 : 0x00) | ((pid >> 8) & 0x1F));
            p[2] = static_cast<uint8_t>(pid & 0xFF);
            p[3] = static_cast<uint8_t>(0x10 | cc);
            cc = static_cast<uint8_t>((cc + 1) & 0x0F);
            const std::size_t n = std::min(room, data.size() - pos);
            std::memcpy(p.data() + payload, data.data() + pos, n);
            pos += n;
            out.push_back(p);
        }
    }

    // Only the first `keep` packets of the section go out, and the continuity counter counts only
    // those, so the PID shows no discontinuity where the section stops. Returns the packets the
    // whole section needs.
    std::size_t AppendCut(uint16_t pid, const std::vector<uint8_t>& section, std::size_t keep, std::vector<Packet>& out)
    {
        std::vector<Packet> all;
        Append(pid, {&section}, all);
        const std::size_t dropped = all.size() > keep ? all.size() - keep : 0;
        m_cc[pid] = static_cast<uint8_t>((m_cc[pid] + 16 - dropped % 16) & 0x0F);
        out.insert(out.end(), all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(keep, all.size())));
        return all.size();
    }

private:
    std::map<uint16_t, uint8_t> m_cc;
};

struct Options
{
    std::string config, in, out, report;
    unsigned long repetitions = 8;
    unsigned long interval = 0;
    double siShare = 0.0;
    bool versionChange = false;
    bool pack = true;
    bool dropPat = false;
    bool dropPmt = false;
    bool nullsOnly = false;
};

struct CutRecord
{
    const CutSection* source = nullptr;
    std::size_t index = 0; // in the config's cut_sections
    uint16_t pid = 0;
    uint8_t tableId = 0;
    std::size_t repetition = 0;
    std::size_t sectionBytes = 0;
    std::size_t neededPackets = 0;
    std::size_t keptPackets = 0;
    std::size_t firstPacket = 0;     // output packet index of the cut section's first packet
    std::size_t nextStartPacket = 0; // output packet index of the PID's next packet (a new section)
};

struct MuxStats
{
    std::size_t inputPackets = 0, inputNulls = 0, outputPackets = 0, replacedNulls = 0, insertedPackets = 0;
    std::map<uint16_t, std::size_t> siPacketsByPid;
    std::map<uint16_t, std::size_t> droppedByPid;
    std::map<std::string, std::size_t> sectionsByTable;
    std::vector<CutRecord> cuts;
    std::size_t repetitions = 0;
    std::size_t SiPackets() const
    {
        std::size_t n = 0;
        for (const auto& kv : siPacketsByPid)
            n += kv.second;
        return n;
    }
};

std::string TableName(uint8_t tableId)
{
    if (tableId == 0x40)
        return "nit_actual";
    if (tableId == 0x42)
        return "sdt_actual";
    if (tableId == 0x4E)
        return "eit_pf_actual";
    if (tableId >= 0x50 && tableId <= 0x5F)
        return "eit_schedule_actual";
    if (tableId == 0x70)
        return "tdt";
    if (tableId == 0x73)
        return "tot";
    return "other";
}

struct Writer
{
    const Options& opt;
    const Config& first;
    const Config& second;
    const Carousel& carouselA;
    const Carousel& carouselB;
    const std::vector<Section>& cutSections; // one per first.cutSections entry
    const std::set<uint16_t>& dropPids;
    dvbpsi_t* handle;

    // Marks on burst packets so that the report can say where each cut landed in the output.
    static constexpr int kNoMark = -1;

    struct Queued
    {
        Packet packet;
        std::size_t due;
        int mark;
    };

    bool BuildBurst(std::size_t r, std::size_t total, Packetiser& pk, std::vector<Packet>& out, std::vector<int>& marks,
                    MuxStats* stats, Section* lastTdt, Section* lastTot, std::string& error)
    {
        const bool late = opt.versionChange && r >= total / 2;
        const Carousel& c = late ? carouselB : carouselA;
        const Config& cfg = late ? second : first;
        Section tdt, tot;
        if (!GenerateTimeTables(handle, cfg, cfg.utc + static_cast<long long>(r) * cfg.stepSeconds, tdt, tot, error))
            return false;
        std::vector<const std::vector<uint8_t>*> nit, sdt, eit, time;
        for (const Section& s : c.nit)
            nit.push_back(&s.bytes);
        for (const Section& s : c.sdt)
            sdt.push_back(&s.bytes);
        for (const EitSection& s : c.eit)
            eit.push_back(&s.section.bytes);
        time.push_back(&tdt.bytes);
        time.push_back(&tot.bytes);
        marks.assign(out.size(), kNoMark);
        auto append = [&](uint16_t pid, const std::vector<const std::vector<uint8_t>*>& list) {
            // The cut sections of this PID and carousel go first; the regular sections then start
            // in the next packet of the PID.
            int pendingMark = kNoMark;
            for (std::size_t k = 0; k < first.cutSections.size(); ++k)
            {
                const Section& cut = cutSections[k];
                if (cut.pid != pid || first.cutSections[k].repetition != r)
                    continue;
                const std::size_t before = out.size();
                const std::size_t needed = pk.AppendCut(pid, cut.bytes, first.cutSections[k].keepPackets, out);
                if (needed <= first.cutSections[k].keepPackets)
                {
                    error = "cut section " + std::to_string(k) + " needs only " + std::to_string(needed) +
                            " packets, so keeping " + std::to_string(first.cutSections[k].keepPackets) + " cuts nothing";
                    return false;
                }
                marks.resize(out.size(), kNoMark);
                marks[before] = static_cast<int>(2 * k);
                pendingMark = static_cast<int>(2 * k + 1);
                if (stats != nullptr)
                {
                    stats->siPacketsByPid[pid] += out.size() - before;
                    CutRecord rec;
                    rec.source = &first.cutSections[k];
                    rec.index = k;
                    rec.pid = pid;
                    rec.tableId = cut.bytes[0];
                    rec.repetition = r;
                    rec.sectionBytes = cut.bytes.size();
                    rec.neededPackets = needed;
                    rec.keptPackets = out.size() - before;
                    stats->cuts.push_back(rec);
                }
            }
            const std::size_t before = out.size();
            if (opt.pack)
            {
                pk.Append(pid, list, out);
            }
            else
            {
                for (const auto* s : list)
                    pk.Append(pid, {s}, out);
            }
            marks.resize(out.size(), kNoMark);
            if (pendingMark != kNoMark)
            {
                if (out.size() == before)
                {
                    error = "a cut section's PID has no regular section in the same carousel to follow it";
                    return false;
                }
                marks[before] = pendingMark;
            }
            if (stats != nullptr)
            {
                stats->siPacketsByPid[pid] += out.size() - before;
                for (const auto* s : list)
                    ++stats->sectionsByTable[TableName((*s)[0])];
            }
            return true;
        };
        if (!append(kNitPid, nit) || !append(kSdtPid, sdt) || !append(kEitPid, eit) || !append(kTdtPid, time))
            return false;
        if (lastTdt != nullptr)
            *lastTdt = tdt;
        if (lastTot != nullptr)
            *lastTot = tot;
        return true;
    }

    bool Mux(const std::vector<uint8_t>& input, std::size_t repetitions, std::vector<uint8_t>& output, MuxStats& stats,
             Section& lastTdt, Section& lastTot, std::string& error)
    {
        const std::size_t count = input.size() / peer::kPacketSize;
        std::vector<std::size_t> starts;
        for (std::size_t r = 0; r < repetitions; ++r)
            starts.push_back(opt.interval > 0 ? r * opt.interval : r * count / repetitions);
        for (const CutSection& cut : first.cutSections)
        {
            if (cut.repetition >= repetitions)
            {
                error = "a cut section is set for repetition " + std::to_string(cut.repetition) + ", but there are only " +
                        std::to_string(repetitions) + " (numbered from 0)";
                return false;
            }
        }
        stats = MuxStats{};
        stats.repetitions = repetitions;
        stats.inputPackets = count;
        output.clear();
        output.reserve(input.size() * 2);
        Packetiser pk;
        std::vector<Queued> queue;
        std::size_t head = 0;
        std::size_t nextBurst = 0;
        Packet nullPacket;
        nullPacket.fill(0xFF);
        nullPacket[0] = 0x47;
        nullPacket[1] = 0x1F;
        nullPacket[2] = 0xFF;
        nullPacket[3] = 0x10;
        std::map<int, std::size_t> markedAt;
        auto emit = [&](const uint8_t* p) {
            output.insert(output.end(), p, p + peer::kPacketSize);
            ++stats.outputPackets;
        };
        auto emitQueued = [&](const Queued& q) {
            if (q.mark != kNoMark)
                markedAt[q.mark] = stats.outputPackets;
            emit(q.packet.data());
        };
        for (std::size_t i = 0; i < count; ++i)
        {
            if (nextBurst < starts.size() && starts[nextBurst] == i)
            {
                // Whatever is left of the previous burst goes out first, to keep sections whole
                // (with --nulls-only it keeps waiting for nulls ahead of the new burst instead).
                for (; head < queue.size() && !opt.nullsOnly; ++head)
                {
                    emitQueued(queue[head]);
                    ++stats.insertedPackets;
                }
                queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(head));
                head = 0;
                std::vector<Packet> burst;
                std::vector<int> marks;
                if (!BuildBurst(nextBurst, repetitions, pk, burst, marks, &stats, &lastTdt, &lastTot, error))
                    return false;
                const std::size_t span = (nextBurst + 1 < starts.size() ? starts[nextBurst + 1] : count) - i;
                // Packet k is due by the end of its share of the interval, which leaves time for
                // null packets to take it before it has to be inserted.
                for (std::size_t k = 0; k < burst.size(); ++k)
                {
                    const std::size_t slot = (k + 1) * span / burst.size();
                    queue.push_back(Queued{burst[k], i + (slot > 0 ? slot - 1 : 0), marks[k]});
                }
                ++nextBurst;
            }
            const uint8_t* p = input.data() + i * peer::kPacketSize;
            const uint16_t pid = peer::PacketPid(p);
            // A dropped packet leaves a null packet in its place, so the multiplex keeps its timing.
            const bool dropped = dropPids.count(pid) != 0;
            if (dropped)
            {
                ++stats.droppedByPid[pid];
                p = nullPacket.data();
            }
            const bool isNull = dropped || pid == peer::kNullPid;
            if (isNull && !dropped)
                ++stats.inputNulls;
            if (isNull && head < queue.size())
            {
                emitQueued(queue[head++]);
                ++stats.replacedNulls;
                continue;
            }
            // Packets whose time has come go in before this one even without nulls to replace.
            while (!opt.nullsOnly && head < queue.size() && queue[head].due <= i)
            {
                emitQueued(queue[head++]);
                ++stats.insertedPackets;
            }
            emit(p);
        }
        if (opt.nullsOnly && head < queue.size())
        {
            error = std::to_string(queue.size() - head) +
                    " SI packets found no null packet to replace (--nulls-only): the input has too few null "
                    "packets after the last carousel starts; use fewer repetitions";
            return false;
        }
        for (; head < queue.size(); ++head)
        {
            emitQueued(queue[head]);
            ++stats.insertedPackets;
        }
        for (CutRecord& rec : stats.cuts)
        {
            rec.firstPacket = markedAt[static_cast<int>(2 * rec.index)];
            rec.nextStartPacket = markedAt[static_cast<int>(2 * rec.index + 1)];
        }
        return true;
    }
};

// ---------------------------------------------------------------------------------------------
// Report in DvbpsiDump's schema

ordered_json EventJson(const Event& ev)
{
    const peer::DvbTime t = peer::ToDvbTime(ev.start);
    ordered_json j;
    j["event_id"] = ev.eventId;
    j["mjd"] = t.mjd;
    j["start_bcd"] = t.bcd;
    j["duration_bcd"] = ev.durationBcd;
    j["running_status"] = ev.runningStatus;
    j["free_ca"] = ev.freeCa;
    j["language"] = ev.language;
    j["name_hex"] = peer::Hex(ev.name);
    j["text_hex"] = peer::Hex(ev.text);
    return j;
}

ordered_json SdtServicesJson(const std::vector<SdtService>& services)
{
    ordered_json list = ordered_json::array();
    for (const SdtService& s : services)
    {
        ordered_json e;
        e["service_id"] = s.serviceId;
        e["eit_schedule"] = s.eitSchedule;
        e["eit_pf"] = s.eitPf;
        e["running_status"] = s.runningStatus;
        e["free_ca"] = s.freeCa;
        e["service_type"] = s.serviceType;
        e["provider_hex"] = peer::Hex(s.provider);
        e["name_hex"] = peer::Hex(s.name);
        list.push_back(e);
    }
    return list;
}

ordered_json Report(const Config& cfg, const Carousel& c, const Section& tdt, const Section& tot, const MuxStats& st,
                    const Options& opt)
{
    ordered_json j;
    // What the output must not carry any more: DvbpsiDump then finds no PAT, or no PMT.
    if (cfg.dropPat)
        j["pat"] = nullptr;
    if (cfg.dropPmt || cfg.dropPat)
        j["pmts"] = ordered_json::array();
    if (cfg.sdt)
    {
        ordered_json sdt;
        sdt["transport_stream_id"] = cfg.tsid;
        sdt["original_network_id"] = cfg.onid;
        sdt["version"] = cfg.sdt->version;
        sdt["services"] = SdtServicesJson(cfg.sdt->services);
        j["sdt"] = sdt;
    }
    ordered_json nit;
    nit["network_id"] = cfg.nit.networkId;
    nit["version"] = cfg.nit.version;
    nit["network_name_hex"] = peer::Hex(cfg.nit.name);
    nit["transport_streams"] = ordered_json::array();
    for (const NitTs& ts : cfg.nit.transportStreams)
    {
        ordered_json e;
        e["tsid"] = ts.tsid;
        e["onid"] = ts.onid;
        if (ts.terrestrial)
        {
            const Terrestrial& t = *ts.terrestrial;
            e["terrestrial"] = {{"frequency", t.frequency10Hz},    {"bandwidth", t.bandwidth},
                                {"priority", t.priority},          {"time_slicing", t.timeSlicing},
                                {"mpe_fec", t.mpeFec},             {"constellation", t.constellation},
                                {"hierarchy", t.hierarchy},        {"code_rate_hp", t.codeRateHp},
                                {"code_rate_lp", t.codeRateLp},    {"guard_interval", t.guardInterval},
                                {"transmission_mode", t.transmissionMode}, {"other_frequency", t.otherFrequency != 0}};
        }
        nit["transport_streams"].push_back(e);
    }
    j["nit"] = nit;

    std::vector<const EitSection*> sorted;
    for (const EitSection& es : c.eit)
        sorted.push_back(&es);
    std::sort(sorted.begin(), sorted.end(), [](const EitSection* a, const EitSection* b) {
        return std::make_tuple(a->tableId, a->serviceId, a->number) < std::make_tuple(b->tableId, b->serviceId, b->number);
    });
    ordered_json eits = ordered_json::array();
    for (const EitSection* es : sorted)
    {
        ordered_json e;
        e["table_id"] = es->tableId;
        e["service_id"] = es->serviceId;
        e["section_number"] = es->number;
        e["last_section_number"] = es->last;
        e["segment_last_section_number"] = es->segmentLast;
        e["last_table_id"] = es->lastTableId;
        e["version"] = es->version;
        e["tsid"] = cfg.tsid;
        e["onid"] = cfg.onid;
        e["events"] = ordered_json::array();
        for (const Event& ev : es->events)
            e["events"].push_back(EventJson(ev));
        eits.push_back(e);
    }
    j["eits"] = eits;

    auto timeOf = [](const Section& s) {
        return peer::DvbTime{static_cast<uint16_t>(s.bytes[3] << 8 | s.bytes[4]),
                             static_cast<uint32_t>(s.bytes[5] << 16 | s.bytes[6] << 8 | s.bytes[7])};
    };
    j["tdt"] = {{"mjd", timeOf(tdt).mjd}, {"time_bcd", timeOf(tdt).bcd}};
    ordered_json totJson;
    totJson["mjd"] = timeOf(tot).mjd;
    totJson["time_bcd"] = timeOf(tot).bcd;
    totJson["descriptors"] = ordered_json::array();
    if (!cfg.localTimeOffsets.empty())
        totJson["descriptors"].push_back({{"tag", 0x58}, {"length", 13 * cfg.localTimeOffsets.size()}});
    totJson["local_time_offsets"] = ordered_json::array();
    for (const LocalTimeOffset& l : cfg.localTimeOffsets)
    {
        const peer::DvbTime change = peer::ToDvbTime(l.timeOfChange);
        totJson["local_time_offsets"].push_back({{"country", l.country},
                                                 {"region_id", l.regionId},
                                                 {"polarity", l.polarity},
                                                 {"offset_bcd", l.offsetBcd},
                                                 {"time_of_change_mjd", change.mjd},
                                                 {"time_of_change_bcd", change.bcd},
                                                 {"next_offset_bcd", l.nextOffsetBcd}});
    }
    j["tot"] = totJson;

    ordered_json sections;
    std::vector<const char*> counted = {"nit_actual", "eit_pf_actual", "eit_schedule_actual", "tdt", "tot"};
    // FFmpeg's own SDT sections are counted by DvbpsiDump too, so only a written SDT is predictable.
    if (cfg.sdt)
        counted.insert(counted.begin() + 1, "sdt_actual");
    for (const char* name : counted)
    {
        auto found = st.sectionsByTable.find(name);
        sections[name] = found == st.sectionsByTable.end() ? 0 : found->second;
    }
    j["counters"] = {{"sections", sections}, {"cut_sections", st.cuts.size()}};

    ordered_json w;
    w["repetitions"] = st.repetitions;
    w["version_change"] = opt.versionChange;
    w["packed"] = opt.pack;
    w["nulls_only"] = opt.nullsOnly;
    w["input_packets"] = st.inputPackets;
    w["input_null_packets"] = st.inputNulls;
    w["output_packets"] = st.outputPackets;
    w["replaced_null_packets"] = st.replacedNulls;
    w["inserted_packets"] = st.insertedPackets;
    w["si_packets"] = st.SiPackets();
    w["si_share"] = st.outputPackets == 0 ? 0.0 : static_cast<double>(st.SiPackets()) / static_cast<double>(st.outputPackets);
    ordered_json byPid = ordered_json::array();
    for (const auto& kv : st.siPacketsByPid)
        byPid.push_back({{"pid", kv.first}, {"packets", kv.second}});
    w["si_packets_by_pid"] = byPid;
    ordered_json dropped = ordered_json::array();
    for (const auto& kv : st.droppedByPid)
        dropped.push_back({{"pid", kv.first}, {"packets", kv.second}});
    w["dropped_packets_by_pid"] = dropped;
    ordered_json cuts = ordered_json::array();
    for (const CutRecord& r : st.cuts)
    {
        ordered_json e;
        e["pid"] = r.pid;
        e["table_id"] = r.tableId;
        e["repetition"] = r.repetition;
        e["section_bytes"] = r.sectionBytes;
        e["packets_needed"] = r.neededPackets;
        e["packets_sent"] = r.keptPackets;
        e["first_packet"] = r.firstPacket;
        e["next_section_packet"] = r.nextStartPacket;
        if (r.source->table == CutSection::Table::Sdt)
        {
            e["services"] = SdtServicesJson(r.source->services);
        }
        else
        {
            e["service_id"] = r.source->serviceId;
            e["event"] = EventJson(r.source->event);
        }
        cuts.push_back(e);
    }
    w["cut_sections"] = cuts;
    j["writer"] = w;
    return j;
}

struct InputPat
{
    int tsid = -1;                // of the first PAT section found, -1 without one
    std::set<uint16_t> pmtPids;   // program_map_PIDs of every PAT section found
};

// FFmpeg writes each PAT section whole in one packet, so sections are read packet by packet.
InputPat ReadInputPat(const std::vector<uint8_t>& input)
{
    InputPat pat;
    for (std::size_t off = 0; off < input.size(); off += peer::kPacketSize)
    {
        const uint8_t* p = input.data() + off;
        if (peer::PacketPid(p) != kPatPid || !(p[1] & 0x40) || !(p[3] & 0x10))
            continue;
        std::size_t at = 4;
        if (p[3] & 0x20)
            at += 1 + p[4];
        if (at >= peer::kPacketSize)
            continue;
        at += 1 + p[at];
        if (at + 8 > peer::kPacketSize || p[at] != 0x00)
            continue;
        const std::size_t end = at + 3 + (static_cast<std::size_t>(p[at + 1] & 0x0F) << 8 | p[at + 2]);
        if (end > peer::kPacketSize || end < at + 12)
            continue;
        if (pat.tsid < 0)
            pat.tsid = p[at + 3] << 8 | p[at + 4];
        for (std::size_t e = at + 8; e + 4 <= end - 4; e += 4)
        {
            const uint16_t number = static_cast<uint16_t>(p[e] << 8 | p[e + 1]);
            if (number != 0)
                pat.pmtPids.insert(static_cast<uint16_t>((p[e + 2] & 0x1F) << 8 | p[e + 3]));
        }
    }
    return pat;
}

void Usage()
{
    std::fprintf(stderr,
                 "usage: SIStreamWriter --config CFG.json --in IN.ts --out OUT.ts [--report FILE.json]\n"
                 "                      [--repetitions R | --interval N | --si-share X] [--version-change] [--no-pack]\n"
                 "                      [--drop-pat] [--drop-pmt] [--nulls-only]\n");
}

bool ParseOptions(int argc, char** argv, Options& opt, std::string& error)
{
    int modes = 0;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
            {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        auto number = [&](unsigned long& out) {
            std::string text;
            if (!value(text))
                return false;
            char* end = nullptr;
            out = std::strtoul(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || out == 0)
            {
                error = arg + " needs a positive integer";
                return false;
            }
            return true;
        };
        if (arg == "--config")
        {
            if (!value(opt.config))
                return false;
        }
        else if (arg == "--in")
        {
            if (!value(opt.in))
                return false;
        }
        else if (arg == "--out")
        {
            if (!value(opt.out))
                return false;
        }
        else if (arg == "--report")
        {
            if (!value(opt.report))
                return false;
        }
        else if (arg == "--repetitions")
        {
            ++modes;
            if (!number(opt.repetitions))
                return false;
        }
        else if (arg == "--interval")
        {
            ++modes;
            if (!number(opt.interval))
                return false;
        }
        else if (arg == "--si-share")
        {
            ++modes;
            std::string text;
            if (!value(text))
                return false;
            char* end = nullptr;
            opt.siShare = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(opt.siShare > 0.0 && opt.siShare <= 0.9))
            {
                error = "--si-share needs a number in (0, 0.9]";
                return false;
            }
        }
        else if (arg == "--version-change")
        {
            opt.versionChange = true;
        }
        else if (arg == "--no-pack")
        {
            opt.pack = false;
        }
        else if (arg == "--drop-pat")
        {
            opt.dropPat = true;
        }
        else if (arg == "--drop-pmt")
        {
            opt.dropPmt = true;
        }
        else if (arg == "--nulls-only")
        {
            opt.nullsOnly = true;
        }
        else if (arg == "--help" || arg == "-h")
        {
            Usage();
            std::exit(0);
        }
        else
        {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (opt.config.empty() || opt.in.empty() || opt.out.empty())
    {
        error = "--config, --in and --out are required";
        return false;
    }
    if (modes > 1)
    {
        error = "use only one of --repetitions, --interval and --si-share";
        return false;
    }
    return true;
}

// Sub-tables whose second-half bytes differ from the first half get the next version number.
void BumpChangedVersions(const Carousel& a, const Carousel& b, Config& second)
{
    auto changed = [](const std::vector<const std::vector<uint8_t>*>& x, const std::vector<const std::vector<uint8_t>*>& y) {
        if (x.size() != y.size())
            return true;
        for (std::size_t i = 0; i < x.size(); ++i)
        {
            if (*x[i] != *y[i])
                return true;
        }
        return false;
    };
    std::vector<const std::vector<uint8_t>*> na, nb;
    for (const Section& s : a.nit)
        na.push_back(&s.bytes);
    for (const Section& s : b.nit)
        nb.push_back(&s.bytes);
    if (changed(na, nb))
        second.nit.version = static_cast<uint8_t>((second.nit.version + 1) & 0x1F);
    std::vector<const std::vector<uint8_t>*> sa, sb;
    for (const Section& s : a.sdt)
        sa.push_back(&s.bytes);
    for (const Section& s : b.sdt)
        sb.push_back(&s.bytes);
    if (second.sdt && changed(sa, sb))
        second.sdt->version = static_cast<uint8_t>((second.sdt->version + 1) & 0x1F);
    for (Service& svc : second.services)
    {
        for (const bool schedule : {false, true})
        {
            std::vector<const std::vector<uint8_t>*> ea, eb;
            for (const EitSection& s : a.eit)
            {
                if (s.serviceId == svc.serviceId && (s.tableId != 0x4E) == schedule)
                    ea.push_back(&s.section.bytes);
            }
            for (const EitSection& s : b.eit)
            {
                if (s.serviceId == svc.serviceId && (s.tableId != 0x4E) == schedule)
                    eb.push_back(&s.section.bytes);
            }
            if (!changed(ea, eb))
                continue;
            uint8_t& v = schedule ? svc.scheduleVersion : svc.pfVersion;
            v = static_cast<uint8_t>((v + 1) & 0x1F);
        }
    }
}

int Run(int argc, char** argv)
{
    Options opt;
    std::string error;
    if (!ParseOptions(argc, argv, opt, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        Usage();
        return 2;
    }

    std::ifstream configStream(opt.config);
    if (!configStream)
    {
        std::fprintf(stderr, "SIStreamWriter: cannot open config %s\n", opt.config.c_str());
        return 2;
    }
    json root = json::parse(configStream, nullptr, false);
    if (root.is_discarded())
    {
        std::fprintf(stderr, "SIStreamWriter: %s is not valid JSON\n", opt.config.c_str());
        return 2;
    }
    json updated;
    if (!ApplyUpdate(root, updated, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 2;
    }
    if (opt.versionChange && !root.contains("update"))
    {
        std::fprintf(stderr, "SIStreamWriter: --version-change needs an \"update\" object in the config\n");
        return 2;
    }

    Config first, second;
    if (!ReadConfig(root, first, error) || !ReadConfig(updated, second, error))
    {
        std::fprintf(stderr, "SIStreamWriter: config %s: %s\n", opt.config.c_str(), error.c_str());
        return 2;
    }
    for (Config* cfg : {&first, &second})
    {
        cfg->dropPat = cfg->dropPat || opt.dropPat;
        cfg->dropPmt = cfg->dropPmt || opt.dropPmt;
    }

    std::vector<uint8_t> input;
    if (!peer::ReadTsFile(opt.in, input, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    const InputPat inputPat = ReadInputPat(input);
    const int inputTsid = inputPat.tsid;
    std::set<uint16_t> dropPids;
    if (first.sdt || second.sdt)
        dropPids.insert(kSdtPid);
    if (first.dropPat)
        dropPids.insert(kPatPid);
    if (first.dropPmt)
    {
        if (inputPat.pmtPids.empty())
        {
            std::fprintf(stderr, "SIStreamWriter: PMTs are to be dropped but the input PAT names no PMT PID\n");
            return 1;
        }
        dropPids.insert(inputPat.pmtPids.begin(), inputPat.pmtPids.end());
    }
    for (std::size_t off = 0; off < input.size(); off += peer::kPacketSize)
    {
        const uint16_t pid = peer::PacketPid(input.data() + off);
        if (pid == kNitPid || pid == kEitPid || pid == kTdtPid)
        {
            std::fprintf(stderr, "SIStreamWriter: input already carries PID 0x%04X\n", pid);
            return 1;
        }
    }
    for (Config* cfg : {&first, &second})
    {
        if (!cfg->tsidGiven)
        {
            if (inputTsid < 0)
            {
                std::fprintf(stderr, "SIStreamWriter: no PAT in the input and no transport_stream_id in the config\n");
                return 1;
            }
            cfg->tsid = static_cast<uint16_t>(inputTsid);
        }
    }
    if (inputTsid >= 0 && first.tsid != inputTsid)
        std::fprintf(stderr, "SIStreamWriter: warning: config transport_stream_id %u differs from the input PAT's %d\n",
                     first.tsid, inputTsid);

    DvbpsiHandle dvbpsi;
    if (dvbpsi.handle == nullptr)
    {
        std::fprintf(stderr, "SIStreamWriter: dvbpsi_new failed\n");
        return 1;
    }
    Carousel carouselA, carouselB;
    if (!GenerateCarousel(dvbpsi.handle, first, carouselA, error) ||
        (opt.versionChange && !GenerateCarousel(dvbpsi.handle, second, carouselB, error)))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    if (opt.versionChange)
    {
        BumpChangedVersions(carouselA, carouselB, second);
        if (!GenerateCarousel(dvbpsi.handle, second, carouselB, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
    }

    std::vector<Section> cutSections;
    for (const CutSection& cut : first.cutSections)
    {
        Section section;
        if (!GenerateCutSection(dvbpsi.handle, first, cut, section, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
        cutSections.push_back(std::move(section));
    }

    Writer writer{opt, first, second, carouselA, carouselB, cutSections, dropPids, dvbpsi.handle};
    const std::size_t count = input.size() / peer::kPacketSize;
    std::size_t repetitions = opt.repetitions;
    if (opt.interval > 0)
        repetitions = (count + opt.interval - 1) / opt.interval;

    std::vector<uint8_t> output;
    MuxStats stats;
    Section lastTdt, lastTot;
    if (opt.siShare > 0.0)
    {
        // Estimate the repetition count from one burst, then step up until the share is met.
        Packetiser probe;
        std::vector<Packet> burst;
        std::vector<int> marks;
        if (!writer.BuildBurst(0, 1, probe, burst, marks, nullptr, nullptr, nullptr, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
        std::size_t nulls = 0;
        for (std::size_t off = 0; off < input.size(); off += peer::kPacketSize)
        {
            const uint16_t pid = peer::PacketPid(input.data() + off);
            nulls += pid == peer::kNullPid || dropPids.count(pid) != 0 ? 1 : 0;
        }
        repetitions = 1;
        for (;; ++repetitions)
        {
            const double added = static_cast<double>(repetitions * burst.size());
            const double inserted = std::max(0.0, added - static_cast<double>(nulls));
            if (added / (static_cast<double>(count) + inserted) >= opt.siShare)
                break;
        }
        for (int attempt = 0;; ++attempt)
        {
            if (repetitions > count || attempt > 200)
            {
                std::fprintf(stderr, "SIStreamWriter: cannot reach an SI share of %.3f\n", opt.siShare);
                return 1;
            }
            if (!writer.Mux(input, repetitions, output, stats, lastTdt, lastTot, error))
            {
                std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
                return 1;
            }
            if (static_cast<double>(stats.SiPackets()) >= opt.siShare * static_cast<double>(stats.outputPackets))
                break;
            ++repetitions;
        }
    }
    else
    {
        if (repetitions == 0 || repetitions > count)
        {
            std::fprintf(stderr, "SIStreamWriter: %zu repetitions do not fit in %zu input packets\n", repetitions, count);
            return 1;
        }
        if (!writer.Mux(input, repetitions, output, stats, lastTdt, lastTot, error))
        {
            std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
            return 1;
        }
    }

    if (!peer::WriteFile(opt.out, output, error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    std::size_t dropped = 0;
    for (const auto& kv : stats.droppedByPid)
        dropped += kv.second;
    const Config& lastCfg = opt.versionChange ? second : first;
    const Carousel& lastCarousel = opt.versionChange ? carouselB : carouselA;
    const ordered_json report = Report(lastCfg, lastCarousel, lastTdt, lastTot, stats, opt);
    if (!opt.report.empty() && !peer::WriteTextFile(opt.report, report.dump(2) + "\n", error))
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr,
                 "SIStreamWriter: %s: %zu packets in, %zu out, %zu repetitions, %zu SI packets (%.1f%%), "
                 "%zu nulls replaced, %zu inserted, %zu dropped, %zu cut sections\n",
                 opt.out.c_str(), stats.inputPackets, stats.outputPackets, stats.repetitions, stats.SiPackets(),
                 100.0 * static_cast<double>(stats.SiPackets()) / static_cast<double>(stats.outputPackets),
                 stats.replacedNulls, stats.insertedPackets, dropped, stats.cuts.size());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // nlohmann reports type errors by exception; they end the tool with a message, never a crash.
    try
    {
        return Run(argc, argv);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "SIStreamWriter: %s\n", e.what());
        return 2;
    }
}
