// The test streams' SI, made with libdvbpsi's generators, and libdvbpsi's own reading of a
// stream as JSON: an independent writer and reader for the tests to compare LUMCore with.
// Built and run only by make_streams.sh and samples/make_sample.sh, never by the normal build.
//
//   DvbpsiFixture make CONFIG.json IN.ts|- REPETITIONS OUT.ts
//     Sends the config's SI REPETITIONS times, each set starting at an evenly spaced packet of
//     IN.ts and taking the place of its null packets only, so every PCR stays true; with "-",
//     the stream is the SI alone. Config keys: see tests/streams/README.md.
//   DvbpsiFixture read IN.ts   libdvbpsi's reading on standard output; exit 3 on its errors.
extern "C" {
#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#include <dvbpsi/dvbpsi.h>
#include <dvbpsi/psi.h>
#include <dvbpsi/descriptor.h>
#include <dvbpsi/demux.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>
#include <dvbpsi/sdt.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/tot.h>
#include <dvbpsi/dr_0a.h>
#include <dvbpsi/dr_40.h>
#include <dvbpsi/dr_48.h>
#include <dvbpsi/dr_4d.h>
#include <dvbpsi/dr_58.h>
#include <dvbpsi/dr_5a.h>
// Exported by libdvbpsi 1.3.3 but not declared: decodes the events of a chain of EIT sections.
void dvbpsi_eit_sections_decode(dvbpsi_eit_t* eit, dvbpsi_psi_section_t* section);
}

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

using nlohmann::json;
using Bytes = std::vector<uint8_t>;

namespace {

dvbpsi_t* g_dvbpsi = nullptr;
int g_errors = 0;

void OnMessage(dvbpsi_t*, const dvbpsi_msg_level_t level, const char* msg)
{
    if (level == DVBPSI_MSG_ERROR) {
        std::fprintf(stderr, "libdvbpsi: %s\n", msg);
        ++g_errors;
    }
}

// The terrestrial delivery system descriptor's one-byte fields, named alike in the config and
// the reading; other_frequency is true or false in both.
using Terrestrial = dvbpsi_terr_deliv_sys_dr_t;
const std::pair<const char*, uint8_t Terrestrial::*> kTerrestrialFields[] = {
    {"bandwidth", &Terrestrial::i_bandwidth}, {"priority", &Terrestrial::i_priority},
    {"time_slicing", &Terrestrial::i_time_slice_indicator}, {"mpe_fec", &Terrestrial::i_mpe_fec_indicator},
    {"constellation", &Terrestrial::i_constellation}, {"hierarchy", &Terrestrial::i_hierarchy_information},
    {"code_rate_hp", &Terrestrial::i_code_rate_hp_stream}, {"code_rate_lp", &Terrestrial::i_code_rate_lp_stream},
    {"guard_interval", &Terrestrial::i_guard_interval}, {"transmission_mode", &Terrestrial::i_transmission_mode},
    {"other_frequency", &Terrestrial::i_other_frequency_flag},
};

// --- the SI made -----------------------------------------------------------------------------

// A config text into a descriptor's length and bytes: "key" is UTF-8 sent as it is, "key_hex"
// the exact bytes, character-table selector first.
template <typename Length, std::size_t Size>
void SetText(const json& j, const std::string& key, Length& length, uint8_t (&bytes)[Size])
{
    std::string text = j.value(key, "");
    if (j.contains(key + "_hex")) {
        std::string hex = j[key + "_hex"];
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        text.clear();
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            text += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    if (text.size() > Size)
        throw std::runtime_error("too long for its descriptor: " + text);
    length = Length(text.size());
    std::copy(text.begin(), text.end(), bytes);
}

uint32_t Bcd(long long value)
{
    return uint32_t((value / 10) << 4 | (value % 10));
}

// "YYYY-MM-DD HH:MM:SS" (UTC) as seconds since 1970.
long long Seconds(const std::string& text)
{
    std::tm t{};
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday, &t.tm_hour, &t.tm_min,
                    &t.tm_sec) != 6)
        throw std::runtime_error("bad time " + text);
    t.tm_year -= 1900;
    t.tm_mon -= 1;
    return timegm(&t);
}

// 16-bit MJD then 24-bit BCD time, as the tables carry it.
uint64_t DvbTime(long long seconds)
{
    const long long s = seconds % 86400;
    return uint64_t(seconds / 86400 + 40587) << 24 | Bcd(s / 3600) << 16 | Bcd(s / 60 % 60) << 8 | Bcd(s % 60);
}

// "HH:MM:SS" as BCD; "+HH:MM" as the local time offset's four digits.
uint32_t DurationBcd(const std::string& text)
{
    return uint32_t(DvbTime(Seconds("1970-01-01 " + text)) & 0xFFFFFF);
}
uint16_t OffsetBcd(const std::string& text)
{
    return uint16_t(DurationBcd(text.substr(1) + ":00") >> 8);
}

// The generated sections' bytes; the chain and the table are freed. libdvbpsi 1.3.3 leaves
// reserved_future_use at 0 in the NIT and TDT, and writes the TOT's CRC_32 outside its
// section_length: every DVB table is built again with the bit set, the TOT with its CRC inside.
template <typename Table>
std::vector<Bytes> Take(dvbpsi_psi_section_t* first, Table* table, void (*deleteTable)(Table*))
{
    deleteTable(table);
    if (first == nullptr)
        throw std::runtime_error("a libdvbpsi generator failed");
    std::vector<Bytes> sections;
    for (dvbpsi_psi_section_t* s = first; s != nullptr; s = s->p_next) {
        if (s->i_table_id >= 0x40) {
            s->b_private_indicator = true;
            s->p_payload_end -= s->i_table_id == 0x73 ? 4 : 0;
            dvbpsi_BuildPSISection(g_dvbpsi, s);
        }
        sections.emplace_back(s->p_data, s->p_data + 3 + ((s->p_data[1] & 0x0F) << 8 | s->p_data[2]));
    }
    dvbpsi_DeletePSISections(first);
    return sections;
}

// Adds a descriptor made by one of libdvbpsi's generators through a table's or entry's `add`.
template <typename Owner>
void AddDescriptor(dvbpsi_descriptor_t* made, dvbpsi_descriptor_t* (*add)(Owner*, uint8_t, uint8_t, uint8_t*),
                   Owner* owner)
{
    if (made == nullptr || add(owner, made->i_tag, made->i_length, made->p_data) == nullptr)
        throw std::runtime_error("a libdvbpsi descriptor generator failed");
    dvbpsi_DeleteDescriptors(made);
}

// The config's entry in "services" for a service; null when it has none.
const json* FindService(const json& c, const json& serviceId)
{
    for (const json& s : c["services"])
        if (s["service_id"] == serviceId)
            return &s;
    return nullptr;
}

Bytes Pat(const json& c)
{
    dvbpsi_pat_t* pat = dvbpsi_pat_new(c["transport_stream_id"], 0, true);
    for (const json& program : c["pat"])
        dvbpsi_pat_program_add(pat, program[0], program[1]);
    return Take(dvbpsi_pat_sections_generate(g_dvbpsi, pat, 253), pat, dvbpsi_pat_delete).at(0);
}

std::vector<Bytes> Nit(const json& n)
{
    dvbpsi_nit_t* nit = dvbpsi_nit_new(0x40, n["network_id"], n["network_id"], n["version"], true);
    dvbpsi_network_name_dr_t name{};
    SetText(n, "network_name", name.i_name_length, name.i_name_byte);
    AddDescriptor(dvbpsi_GenNetworkNameDr(&name, false), dvbpsi_nit_descriptor_add, nit);
    for (const json& ts : n["transport_streams"]) {
        const json& t = ts["terrestrial"];
        Terrestrial dr{};
        dr.i_centre_frequency = uint32_t(t["frequency_hz"].get<long long>() / 10);
        for (const auto& [key, field] : kTerrestrialFields)
            dr.*field = t[key].get<uint8_t>();
        AddDescriptor(dvbpsi_GenTerrDelivSysDr(&dr, false), dvbpsi_nit_ts_descriptor_add,
                      dvbpsi_nit_ts_add(nit, ts["transport_stream_id"], ts["original_network_id"]));
    }
    return Take(dvbpsi_nit_sections_generate(g_dvbpsi, nit, 0x40), nit, dvbpsi_nit_delete);
}

// EIT flags default to what the config's EIT carries for the service.
std::vector<Bytes> Sdt(const json& c, const json& services)
{
    dvbpsi_sdt_t* sdt = dvbpsi_sdt_new(0x42, c["transport_stream_id"], c["sdt"]["version"], true,
                                       c["original_network_id"]);
    for (const json& s : services) {
        const json* eit = FindService(c, s["service_id"]);
        dvbpsi_sdt_service_t* entry = dvbpsi_sdt_service_add(
            sdt, s["service_id"], s.value("eit_schedule", eit && eit->contains("schedule")),
            s.value("eit_pf", eit && eit->contains("present")), s.value("running_status", 4), s.value("free_ca", false));
        dvbpsi_service_dr_t dr{};
        dr.i_service_type = s["service_type"];
        SetText(s, "provider", dr.i_service_provider_name_length, dr.i_service_provider_name);
        SetText(s, "name", dr.i_service_name_length, dr.i_service_name);
        AddDescriptor(dvbpsi_GenServiceDr(&dr, false), dvbpsi_sdt_service_descriptor_add, entry);
    }
    return Take(dvbpsi_sdt_sections_generate(g_dvbpsi, sdt), sdt, dvbpsi_sdt_delete);
}

// One EIT section of a service; its place in the sub-table is set after generating, since the
// generator numbers from 0 and derives segment_last_section_number from its own split.
Bytes Eit(const json& c, const json& service, int tableId, int number, int last, int lastTableId,
          const std::vector<json>& events)
{
    const bool pf = tableId == 0x4E;
    dvbpsi_eit_t* eit = dvbpsi_eit_new(uint8_t(tableId), service["service_id"],
                                       service.value(pf ? "eit_pf_version" : "eit_schedule_version", 0), true,
                                       c["transport_stream_id"], c["original_network_id"], 0, uint8_t(lastTableId));
    for (const json& e : events) {
        dvbpsi_eit_event_t* event =
            dvbpsi_eit_event_add(eit, e["event_id"], DvbTime(Seconds(e["start"])), DurationBcd(e["duration"]),
                                 e["running_status"], e.value("free_ca", false), 0);
        dvbpsi_short_event_dr_t dr{};
        std::memcpy(dr.i_iso_639_code, e.value("language", "eng").c_str(), 3);
        SetText(e, "name", dr.i_event_name_length, dr.i_event_name);
        SetText(e, "text", dr.i_text_length, dr.i_text);
        AddDescriptor(dvbpsi_GenShortEventDr(&dr, false), dvbpsi_eit_event_descriptor_add, event);
    }
    dvbpsi_psi_section_t* s = dvbpsi_eit_sections_generate(g_dvbpsi, eit, uint8_t(tableId));
    if (s == nullptr || s->p_next != nullptr)
        throw std::runtime_error("an EIT section does not fit in one section");
    s->i_number = uint8_t(number);
    s->i_last_number = uint8_t(last);
    s->p_data[12] = uint8_t(pf ? last : number);   // segment_last_section_number
    return Take(s, eit, dvbpsi_eit_delete).at(0);
}

// Present/following as sections 0 and 1 (1 may be empty); the schedule in 3-hour segments from
// midnight of the stream's day, table 0x50 + days/4, one section per segment up to the last used.
std::vector<Bytes> Eits(const json& c)
{
    std::vector<Bytes> out;
    const long long midnight = Seconds(c["time"]["utc"]) / 86400 * 86400;
    for (const json& s : c["services"]) {
        for (int n = 0; n < 2; ++n) {
            const json event = s.value(n == 0 ? "present" : "following", json());
            out.push_back(Eit(c, s, 0x4E, n, 1, 0x4E, event.is_null() ? std::vector<json>{} : std::vector<json>{event}));
        }
        std::map<int, std::map<int, std::vector<json>>> tables;   // table_id -> segment -> events
        for (const json& e : s.value("schedule", json::array())) {
            const long long hours = (Seconds(e["start"]) - midnight) / 3600;
            tables[int(0x50 + hours / 96)][int(hours % 96 / 3)].push_back(e);
        }
        for (const auto& [tableId, segments] : tables) {
            const int lastSegment = segments.rbegin()->first;
            for (int segment = 0; segment <= lastSegment; ++segment) {
                const auto found = segments.find(segment);
                out.push_back(Eit(c, s, tableId, segment * 8, lastSegment * 8, tables.rbegin()->first,
                                  found == segments.end() ? std::vector<json>{} : found->second));
            }
        }
    }
    return out;
}

// The TDT, then the TOT with its local time offsets.
std::vector<Bytes> TimeTables(const json& time, long long utc)
{
    dvbpsi_tot_t* tdt = dvbpsi_tot_new(0x70, 0, 0, true, DvbTime(utc));
    dvbpsi_tot_t* tot = dvbpsi_tot_new(0x73, 0, 0, true, DvbTime(utc));
    dvbpsi_local_time_offset_dr_t dr{};
    for (const json& l : time["local_time_offsets"]) {
        dvbpsi_local_time_offset_t& e = dr.p_local_time_offset[dr.i_local_time_offsets_number++];
        std::memcpy(e.i_country_code, l["country"].get<std::string>().c_str(), 3);
        e.i_country_region_id = l.value("region_id", 0);
        e.i_local_time_offset_polarity = l["offset"].get<std::string>()[0] == '-';
        e.i_local_time_offset = OffsetBcd(l["offset"]);
        e.i_time_of_change = DvbTime(Seconds(l["time_of_change"]));
        e.i_next_time_offset = OffsetBcd(l["next_offset"]);
    }
    AddDescriptor(dvbpsi_GenLocalTimeOffsetDr(&dr, false), dvbpsi_tot_descriptor_add, tot);
    return {Take(dvbpsi_tot_sections_generate(g_dvbpsi, tdt), tdt, dvbpsi_tot_delete).at(0),
            Take(dvbpsi_tot_sections_generate(g_dvbpsi, tot), tot, dvbpsi_tot_delete).at(0)};
}

// Sections of a PID back to back: a packet that starts one has payload_unit_start_indicator and
// a pointer_field; a start that would fall on the last byte of a packet without one moves to
// the next packet; a burst ends in 0xFF stuffing. At most `keep` packets go out (a cut section).
std::map<int, uint8_t> g_continuity;

void Packetise(int pid, const std::vector<Bytes>& sections, std::vector<Bytes>& out, std::size_t keep = SIZE_MAX)
{
    Bytes all;
    std::vector<std::size_t> starts;
    for (const Bytes& s : sections) {
        starts.push_back(all.size());
        all.insert(all.end(), s.begin(), s.end());
    }
    for (std::size_t pos = 0, next = 0; pos < all.size() && keep-- > 0;) {
        while (next < starts.size() && starts[next] < pos)
            ++next;
        Bytes packet = {0x47, uint8_t(pid >> 8), uint8_t(pid), uint8_t(0x10 | (g_continuity[pid]++ & 0x0F))};
        std::size_t end = next < starts.size() ? starts[next] : all.size();
        if (next < starts.size() && starts[next] - pos <= 182) {
            packet[1] |= 0x40;
            packet.push_back(uint8_t(starts[next] - pos));
            end = all.size();
        }
        const std::size_t n = std::min(188 - packet.size(), end - pos);
        packet.insert(packet.end(), all.begin() + long(pos), all.begin() + long(pos + n));
        packet.resize(188, 0xFF);
        out.push_back(packet);
        pos += n;
    }
}

// One set of the SI, for repetition `r`: PAT (SI-only streams), NIT, SDT, EIT, TDT and TOT. A cut
// section of this repetition goes first on its PID, and only its first packet goes out.
void Carousel(const json& c, std::size_t r, std::vector<Bytes>& out)
{
    if (c.contains("pat"))
        Packetise(0x0000, {Pat(c)}, out);
    Packetise(0x0010, Nit(c["nit"]), out);
    for (const json& cut : c.value("cut_sections", json::array())) {
        if (cut["repetition"] != r)
            continue;
        if (cut["table"] == "sdt")
            Packetise(0x0011, Sdt(c, cut["services"]), out, 1);
        else if (const json* s = FindService(c, cut["service_id"]))
            Packetise(0x0012, {Eit(c, *s, 0x4E, 0, 1, 0x4E, {cut["event"]})}, out, 1);
    }
    if (c.contains("sdt"))
        Packetise(0x0011, Sdt(c, c["sdt"]["services"]), out);
    Packetise(0x0012, Eits(c), out);
    const json& time = c["time"];
    Packetise(0x0014, TimeTables(time, Seconds(time["utc"]) + long(r) * time.value("step_seconds", 1)), out);
}

// "update" holds what changes in the second half of the repetitions, versions included:
// tables merged over the config, services matched by service_id.
json Updated(json c)
{
    const json update = c.value("update", json::object());
    for (const auto& [key, value] : update.items()) {
        if (key != "services")
            c[key].merge_patch(value);
        else
            for (const json& changed : value)
                for (json& s : c["services"])
                    if (s["service_id"] == changed["service_id"])
                        s.merge_patch(changed);
    }
    return c;
}

std::vector<Bytes> ReadPackets(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + path);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<Bytes> packets;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188)
        packets.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at) + 188);
    return packets;
}

int Make(const std::string& configPath, const std::string& inPath, std::size_t repetitions, const std::string& outPath)
{
    const json config = json::parse(std::ifstream(configPath));
    const json updated = Updated(config);
    const std::vector<Bytes> in = inPath == "-" ? std::vector<Bytes>{} : ReadPackets(inPath);
    std::vector<Bytes> out, waiting;
    std::size_t r = 0, sent = 0;
    for (std::size_t i = 0; i <= in.size(); ++i) {
        for (; r < repetitions && r * in.size() / repetitions == i; ++r)
            Carousel(r < repetitions / 2 ? config : updated, r, waiting);
        if (i == in.size())
            break;
        // with an SDT of the config's own, FFmpeg's gives way like a null packet
        const int pid = (in[i][1] & 0x1F) << 8 | in[i][2];
        const bool null = pid == 0x1FFF || (pid == 0x0011 && config.contains("sdt"));
        if (null && sent < waiting.size())
            out.push_back(waiting[sent++]);
        else
            out.push_back(null ? Bytes{0x47, 0x1F, 0xFF, 0x10} : in[i]);
        out.back().resize(188, 0xFF);
    }
    if (!in.empty() && sent < waiting.size())
        throw std::runtime_error(std::to_string(waiting.size() - sent) + " SI packets found no null packet");
    std::ofstream file(outPath, std::ios::binary);
    for (const Bytes& packet : in.empty() ? waiting : out)
        file.write(reinterpret_cast<const char*>(packet.data()), 188);
    return file ? 0 : 1;
}

// --- libdvbpsi's reading -------------------------------------------------------------------
// PID 0 and each PMT with their own decoder, NIT/SDT/EIT/TDT through the demux; every complete
// section passes OnSection first. The last version of each table is kept; PMTs by program, EIT
// by table/service/section, so that each schedule segment can be compared on its own.

struct Handle
{
    int pid = 0;
    dvbpsi_t* dvbpsi = nullptr;
    dvbpsi_callback_gather_t gather = nullptr;
};
std::map<int, Handle> g_handles;
json g_read = {{"pat", nullptr}, {"pmts", json::object()}, {"sdt", nullptr}, {"nit", nullptr},
               {"eits", json::object()}, {"tdt", nullptr}, {"tot", nullptr}};
std::map<std::string, int> g_sections;

std::string Hex(const uint8_t* data, std::size_t size)
{
    std::string hex;
    for (std::size_t i = 0; i < size; ++i)
        hex += {"0123456789abcdef"[data[i] >> 4], "0123456789abcdef"[data[i] & 15]};
    return hex;
}

std::string Language(const uint8_t* code)   // ISO 639
{
    return std::string(reinterpret_cast<const char*>(code), 3);
}

// A libdvbpsi list (linked by p_next) as a JSON array of what `item` makes of each.
template <typename T, typename Item>
json Each(T* first, Item item)
{
    json list = json::array();
    for (T* p = first; p != nullptr; p = p->p_next)
        list.push_back(item(p));
    return list;
}

// An entry's descriptors as tag and length; those the tests compare by content add their
// fields to the entry itself.
json Described(json entry, dvbpsi_descriptor_t* first)
{
    entry["descriptors"] = Each(first, [&entry](dvbpsi_descriptor_t* d) {
        if (const auto* l = d->i_tag == 0x0A ? dvbpsi_DecodeISO639Dr(d) : nullptr; l && l->i_code_count > 0)
            entry.update({{"language", Language(l->code[0].iso_639_code)}, {"audio_type", l->code[0].i_audio_type}});
        if (const auto* n = d->i_tag == 0x40 ? dvbpsi_DecodeNetworkNameDr(d) : nullptr)
            entry["network_name_hex"] = Hex(n->i_name_byte, n->i_name_length);
        if (const auto* s = d->i_tag == 0x48 ? dvbpsi_DecodeServiceDr(d) : nullptr)
            entry.update({{"service_type", s->i_service_type},
                          {"provider_hex", Hex(s->i_service_provider_name, s->i_service_provider_name_length)},
                          {"name_hex", Hex(s->i_service_name, s->i_service_name_length)}});
        if (const auto* e = d->i_tag == 0x4D ? dvbpsi_DecodeShortEventDr(d) : nullptr)
            entry.update({{"language", Language(e->i_iso_639_code)},
                          {"name_hex", Hex(e->i_event_name, std::size_t(e->i_event_name_length))},
                          {"text_hex", Hex(e->i_text, std::size_t(e->i_text_length))}});
        if (const Terrestrial* t = d->i_tag == 0x5A ? dvbpsi_DecodeTerrDelivSysDr(d) : nullptr) {
            json& fields = entry["terrestrial"] = {{"frequency", t->i_centre_frequency}};
            for (const auto& [key, field] : kTerrestrialFields)
                fields[key] = t->*field;
            fields["other_frequency"] = t->i_other_frequency_flag != 0;
        }
        return json{{"tag", d->i_tag}, {"length", d->i_length}};
    });
    return entry;
}

void Attach(int pid, int program);

void OnPat(void*, dvbpsi_pat_t* pat)
{
    g_read["pat"] = {{"transport_stream_id", pat->i_ts_id}, {"version", pat->i_version},
                     {"programs", Each(pat->p_first_program, [](dvbpsi_pat_program_t* p) {
                          if (p->i_number != 0 && g_handles.count(p->i_pid) == 0)
                              Attach(p->i_pid, p->i_number);
                          return json{{"number", p->i_number}, {"pid", p->i_pid}};
                      })}};
    dvbpsi_pat_delete(pat);
}

void OnPmt(void* data, dvbpsi_pmt_t* pmt)
{
    g_read["pmts"][std::to_string(pmt->i_program_number)] = Described(
        {{"program_number", pmt->i_program_number}, {"pid", static_cast<Handle*>(data)->pid},
         {"version", pmt->i_version}, {"pcr_pid", pmt->i_pcr_pid},
         {"streams", Each(pmt->p_first_es, [](dvbpsi_pmt_es_t* es) {
              return Described({{"type", es->i_type}, {"pid", es->i_pid}}, es->p_first_descriptor);
          })}},
        pmt->p_first_descriptor);
    dvbpsi_pmt_delete(pmt);
}

void OnSdt(void*, dvbpsi_sdt_t* sdt)
{
    g_read["sdt"] = {{"transport_stream_id", sdt->i_extension}, {"original_network_id", sdt->i_network_id},
                     {"version", sdt->i_version},
                     {"services", Each(sdt->p_first_service, [](dvbpsi_sdt_service_t* s) {
                          return Described({{"service_id", s->i_service_id}, {"eit_schedule", s->b_eit_schedule},
                                            {"eit_pf", s->b_eit_present}, {"running_status", s->i_running_status},
                                            {"free_ca", s->b_free_ca}},
                                           s->p_first_descriptor);
                      })}};
    dvbpsi_sdt_delete(sdt);
}

void OnNit(void*, dvbpsi_nit_t* nit)
{
    if (nit->i_table_id == 0x40)
        g_read["nit"] = Described({{"network_id", nit->i_network_id}, {"version", nit->i_version},
                                   {"transport_streams", Each(nit->p_first_ts, [](dvbpsi_nit_ts_t* ts) {
                                        return Described({{"tsid", ts->i_ts_id}, {"onid", ts->i_orig_network_id}},
                                                         ts->p_first_descriptor);
                                    })}},
                                  nit->p_first_descriptor);
    dvbpsi_nit_delete(nit);
}

void OnTot(void*, dvbpsi_tot_t* tot)
{
    json j = {{"mjd", unsigned(tot->i_utc_time >> 24)}, {"time_bcd", unsigned(tot->i_utc_time & 0xFFFFFF)}};
    if (tot->i_table_id == 0x73)
        j = Described(j, tot->p_first_descriptor);
    g_read[tot->i_table_id == 0x70 ? "tdt" : "tot"] = j;
    dvbpsi_tot_delete(tot);
}

void OnEit(void*, dvbpsi_eit_t* eit)
{
    dvbpsi_eit_delete(eit);   // read section by section in EitSection instead
}

void EitSection(dvbpsi_psi_section_t* s)
{
    const uint8_t* p = s->p_payload_start;
    if (s->p_payload_end - p < 6)
        return;
    dvbpsi_eit_t* eit = dvbpsi_eit_new(s->i_table_id, s->i_extension, s->i_version, s->b_current_next,
                                       uint16_t(p[0] << 8 | p[1]), uint16_t(p[2] << 8 | p[3]), p[4], p[5]);
    dvbpsi_psi_section_t* next = s->p_next;
    s->p_next = nullptr;
    dvbpsi_eit_sections_decode(eit, s);
    s->p_next = next;
    const json events = Each(eit->p_first_event, [](dvbpsi_eit_event_t* e) {
        return Described({{"event_id", e->i_event_id}, {"mjd", unsigned(e->i_start_time >> 24)},
                          {"start_bcd", unsigned(e->i_start_time & 0xFFFFFF)}, {"duration_bcd", e->i_duration},
                          {"running_status", e->i_running_status}, {"free_ca", e->b_free_ca}},
                         e->p_first_descriptor);
    });
    const std::string key = std::to_string(s->i_table_id) + "/" + std::to_string(s->i_extension) + "/" +
                            std::to_string(s->i_number);
    g_read["eits"][key] = {{"table_id", s->i_table_id}, {"service_id", s->i_extension},
                           {"section_number", s->i_number}, {"last_section_number", s->i_last_number},
                           {"segment_last_section_number", p[4]}, {"last_table_id", p[5]},
                           {"version", s->i_version}, {"tsid", eit->i_ts_id}, {"onid", eit->i_network_id},
                           {"events", events}};
    dvbpsi_eit_delete(eit);
}

void OnSection(dvbpsi_t* dvbpsi, dvbpsi_psi_section_t* s)
{
    const int t = s->i_table_id;
    ++g_sections[t == 0 ? "pat" : t == 2 ? "pmt" : t == 0x40 ? "nit_actual" : t == 0x42 ? "sdt_actual"
                 : t == 0x4E ? "eit_pf_actual" : t >= 0x50 && t <= 0x5F ? "eit_schedule_actual"
                 : t == 0x70 ? "tdt" : t == 0x73 ? "tot" : "other"];
    if (t >= 0x4E && t <= 0x6F)
        EitSection(s);
    static_cast<Handle*>(dvbpsi->p_sys)->gather(dvbpsi, s);
}

void OnNewSubtable(dvbpsi_t* dvbpsi, uint8_t tableId, uint16_t extension, void* data)
{
    const int pid = static_cast<Handle*>(data)->pid;
    if (pid == 0x10 && (tableId == 0x40 || tableId == 0x41))
        dvbpsi_nit_attach(dvbpsi, tableId, extension, &OnNit, data);
    else if (pid == 0x11 && tableId == 0x42)
        dvbpsi_sdt_attach(dvbpsi, tableId, extension, &OnSdt, data);
    else if (pid == 0x12 && tableId >= 0x4E && tableId <= 0x6F)
        dvbpsi_eit_attach(dvbpsi, tableId, extension, &OnEit, data);
    else if (pid == 0x14 && (tableId == 0x70 || tableId == 0x73))
        dvbpsi_tot_attach(dvbpsi, tableId, extension, &OnTot, data);
}

void Attach(int pid, int program)
{
    Handle& h = g_handles[pid];
    h.pid = pid;
    h.dvbpsi = dvbpsi_new(&OnMessage, DVBPSI_MSG_ERROR);
    h.dvbpsi->p_sys = &h;
    if (pid == 0)
        dvbpsi_pat_attach(h.dvbpsi, &OnPat, &h);
    else if (program == 0)
        dvbpsi_AttachDemux(h.dvbpsi, &OnNewSubtable, &h);
    else
        dvbpsi_pmt_attach(h.dvbpsi, uint16_t(program), &OnPmt, &h);
    h.gather = h.dvbpsi->p_decoder->pf_gather;
    h.dvbpsi->p_decoder->pf_gather = &OnSection;
}

// The decoders stay attached until the process ends.
int Read(const std::string& path)
{
    for (int pid : {0x00, 0x10, 0x11, 0x12, 0x14})
        Attach(pid, 0);
    for (Bytes& packet : ReadPackets(path)) {
        const auto found = g_handles.find((packet[1] & 0x1F) << 8 | packet[2]);
        if (found != g_handles.end())
            dvbpsi_packet_push(found->second.dvbpsi, packet.data());
    }
    g_read["counters"] = {{"sections", g_sections}, {"errors", g_errors}};
    std::cout << g_read.dump(1) << "\n";
    return g_errors == 0 ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        g_dvbpsi = dvbpsi_new(&OnMessage, DVBPSI_MSG_ERROR);
        const std::string command = argc > 1 ? argv[1] : "";
        if (command == "make" && argc == 6)
            return Make(argv[2], argv[3], std::stoul(argv[4]), argv[5]);
        if (command == "read" && argc == 3)
            return Read(argv[2]);
        std::fprintf(stderr, "usage: DvbpsiFixture make CONFIG.json IN.ts|- REPETITIONS OUT.ts\n"
                             "       DvbpsiFixture read IN.ts\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "DvbpsiFixture: %s\n", e.what());
        return 1;
    }
}
