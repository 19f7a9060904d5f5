// The test streams' SI, made with libdvbpsi's generators, and libdvbpsi's own reading of a
// stream as JSON: an independent writer and reader for the tests to compare LUMCore with.
// Built and run only by make_streams.sh, never by the normal build.
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
void OnMessage(dvbpsi_t*, const dvbpsi_msg_level_t level, const char* msg);

std::string Hex(const uint8_t* data, std::size_t size)
{
    std::string hex;
    for (std::size_t i = 0; i < size; ++i)
        hex += {"0123456789abcdef"[data[i] >> 4], "0123456789abcdef"[data[i] & 15]};
    return hex;
}

// "name" is UTF-8 sent as it is; "name_hex" gives the exact bytes, character-table selector first.
Bytes Text(const json& j, const std::string& key)
{
    if (j.contains(key + "_hex")) {
        Bytes bytes;
        std::string hex = j[key + "_hex"];
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes.push_back(uint8_t(std::stoi(hex.substr(i, 2), nullptr, 16)));
        return bytes;
    }
    const std::string text = j.value(key, "");
    return Bytes(text.begin(), text.end());
}

uint32_t Bcd(int value)
{
    return uint32_t((value / 10) << 4 | (value % 10));
}

// "YYYY-MM-DD HH:MM:SS" (UTC) as seconds since 1970.
long long Seconds(const std::string& text)
{
    int y = 0, m = 0, d = 0, hh = 0, mm = 0, ss = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &m, &d, &hh, &mm, &ss) != 6)
        throw std::runtime_error("bad time " + text);
    y -= m <= 2;   // days from the civil date, after Howard Hinnant
    const long long era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    return days * 86400 + hh * 3600 + mm * 60 + ss;
}

// 16-bit MJD then 24-bit BCD time, as the tables carry it.
uint64_t DvbTime(long long seconds)
{
    const long long s = seconds % 86400;
    return uint64_t(seconds / 86400 + 40587) << 24 | Bcd(int(s / 3600)) << 16 | Bcd(int(s / 60 % 60)) << 8 |
           Bcd(int(s % 60));
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

uint32_t Crc32(const uint8_t* data, std::size_t size)
{
    uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= uint32_t(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 0x80000000 ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
    }
    return crc;
}

// The generated sections' bytes (libdvbpsi's own reading of the result checks them); the
// chain is freed.
std::vector<Bytes> Take(dvbpsi_psi_section_t* first)
{
    if (first == nullptr)
        throw std::runtime_error("a libdvbpsi generator failed");
    std::vector<Bytes> sections;
    for (dvbpsi_psi_section_t* s = first; s != nullptr; s = s->p_next)
        sections.emplace_back(s->p_data, s->p_data + 3 + ((s->p_data[1] & 0x0F) << 8 | s->p_data[2]));
    dvbpsi_DeletePSISections(first);
    return sections;
}

template <typename Add>
void AddDescriptor(dvbpsi_descriptor_t* generated, Add add)
{
    if (generated == nullptr || add(generated->i_tag, generated->i_length, generated->p_data) == nullptr)
        throw std::runtime_error("a libdvbpsi descriptor generator failed");
    dvbpsi_DeleteDescriptors(generated);
}

Bytes Pat(const json& c)
{
    dvbpsi_pat_t* pat = dvbpsi_pat_new(c["transport_stream_id"], 0, true);
    for (const json& program : c["pat"])
        dvbpsi_pat_program_add(pat, program[0], program[1]);
    std::vector<Bytes> sections = Take(dvbpsi_pat_sections_generate(g_dvbpsi, pat, 253));
    dvbpsi_pat_delete(pat);
    return sections.at(0);
}

std::vector<Bytes> Nit(const json& n)
{
    dvbpsi_nit_t* nit = dvbpsi_nit_new(0x40, n["network_id"], n["network_id"], n["version"], true);
    dvbpsi_network_name_dr_t name{};
    const Bytes text = Text(n, "network_name");
    name.i_name_length = uint8_t(text.size());
    std::copy(text.begin(), text.end(), name.i_name_byte);
    AddDescriptor(dvbpsi_GenNetworkNameDr(&name, false),
                  [&](uint8_t t, uint8_t l, uint8_t* d) { return dvbpsi_nit_descriptor_add(nit, t, l, d); });
    for (const json& ts : n["transport_streams"]) {
        dvbpsi_nit_ts_t* entry = dvbpsi_nit_ts_add(nit, ts["transport_stream_id"], ts["original_network_id"]);
        const json& t = ts["terrestrial"];
        dvbpsi_terr_deliv_sys_dr_t dr{};
        dr.i_centre_frequency = uint32_t(t["frequency_hz"].get<long long>() / 10);
        dr.i_bandwidth = t["bandwidth"];
        dr.i_priority = t["priority"];
        dr.i_time_slice_indicator = t["time_slicing"];
        dr.i_mpe_fec_indicator = t["mpe_fec"];
        dr.i_constellation = t["constellation"];
        dr.i_hierarchy_information = t["hierarchy"];
        dr.i_code_rate_hp_stream = t["code_rate_hp"];
        dr.i_code_rate_lp_stream = t["code_rate_lp"];
        dr.i_guard_interval = t["guard_interval"];
        dr.i_transmission_mode = t["transmission_mode"];
        dr.i_other_frequency_flag = t["other_frequency"].get<bool>();
        AddDescriptor(dvbpsi_GenTerrDelivSysDr(&dr, false),
                      [&](uint8_t tag, uint8_t l, uint8_t* d) { return dvbpsi_nit_ts_descriptor_add(entry, tag, l, d); });
    }
    dvbpsi_psi_section_t* first = dvbpsi_nit_sections_generate(g_dvbpsi, nit, 0x40);
    for (dvbpsi_psi_section_t* s = first; s != nullptr; s = s->p_next) {
        s->b_private_indicator = true;   // reserved_future_use is 1; libdvbpsi writes 0
        dvbpsi_BuildPSISection(g_dvbpsi, s);
    }
    dvbpsi_nit_delete(nit);
    return Take(first);
}

// EIT flags default to what the config's EIT carries for the service.
std::vector<Bytes> Sdt(const json& c, const json& services)
{
    dvbpsi_sdt_t* sdt = dvbpsi_sdt_new(0x42, c["transport_stream_id"], c["sdt"]["version"], true,
                                       c["original_network_id"]);
    for (const json& s : services) {
        json eit = json::object();
        for (const json& e : c["services"])
            if (e["service_id"] == s["service_id"])
                eit = e;
        dvbpsi_sdt_service_t* entry = dvbpsi_sdt_service_add(
            sdt, s["service_id"], s.value("eit_schedule", eit.contains("schedule")),
            s.value("eit_pf", eit.contains("present")), s.value("running_status", 4), s.value("free_ca", false));
        dvbpsi_service_dr_t dr{};
        dr.i_service_type = s["service_type"];
        const Bytes provider = Text(s, "provider"), name = Text(s, "name");
        dr.i_service_provider_name_length = uint8_t(provider.size());
        std::copy(provider.begin(), provider.end(), dr.i_service_provider_name);
        dr.i_service_name_length = uint8_t(name.size());
        std::copy(name.begin(), name.end(), dr.i_service_name);
        AddDescriptor(dvbpsi_GenServiceDr(&dr, false), [&](uint8_t t, uint8_t l, uint8_t* d) {
            return dvbpsi_sdt_service_descriptor_add(entry, t, l, d);
        });
    }
    std::vector<Bytes> sections = Take(dvbpsi_sdt_sections_generate(g_dvbpsi, sdt));
    dvbpsi_sdt_delete(sdt);
    return sections;
}

// One EIT section; its place in the sub-table is set after generating, since the generator
// numbers from 0 and derives segment_last_section_number from its own split.
Bytes Eit(const json& c, int tableId, int serviceId, int version, int number, int last, int segmentLast,
          int lastTableId, const std::vector<json>& events)
{
    dvbpsi_eit_t* eit = dvbpsi_eit_new(uint8_t(tableId), uint16_t(serviceId), uint8_t(version), true,
                                       c["transport_stream_id"], c["original_network_id"], 0, uint8_t(lastTableId));
    for (const json& e : events) {
        dvbpsi_eit_event_t* event =
            dvbpsi_eit_event_add(eit, e["event_id"], DvbTime(Seconds(e["start"])), DurationBcd(e["duration"]),
                                 e["running_status"], e.value("free_ca", false), 0);
        dvbpsi_short_event_dr_t dr{};
        std::memcpy(dr.i_iso_639_code, e.value("language", "eng").c_str(), 3);
        const Bytes name = Text(e, "name"), text = Text(e, "text");
        dr.i_event_name_length = int(name.size());
        std::copy(name.begin(), name.end(), dr.i_event_name);
        dr.i_text_length = int(text.size());
        std::copy(text.begin(), text.end(), dr.i_text);
        AddDescriptor(dvbpsi_GenShortEventDr(&dr, false), [&](uint8_t t, uint8_t l, uint8_t* d) {
            return dvbpsi_eit_event_descriptor_add(event, t, l, d);
        });
    }
    dvbpsi_psi_section_t* s = dvbpsi_eit_sections_generate(g_dvbpsi, eit, uint8_t(tableId));
    dvbpsi_eit_delete(eit);
    if (s == nullptr || s->p_next != nullptr)
        throw std::runtime_error("an EIT section does not fit in one section");
    s->i_number = uint8_t(number);
    s->i_last_number = uint8_t(last);
    s->p_data[12] = uint8_t(segmentLast);
    dvbpsi_BuildPSISection(g_dvbpsi, s);
    return Take(s).at(0);
}

// Present/following as sections 0 and 1 (1 may be empty); the schedule in 3-hour segments from
// midnight of the stream's day, table 0x50 + days/4, one section per segment up to the last used.
std::vector<Bytes> Eits(const json& c)
{
    std::vector<Bytes> out;
    const long long midnight = Seconds(c["time"]["utc"]) / 86400 * 86400;
    for (const json& s : c["services"]) {
        const int id = s["service_id"], pf = s.value("eit_pf_version", 0);
        for (int n = 0; n < 2; ++n) {
            const json& event = s.value(n == 0 ? "present" : "following", json());
            out.push_back(Eit(c, 0x4E, id, pf, n, 1, 1, 0x4E,
                              event.is_null() ? std::vector<json>{} : std::vector<json>{event}));
        }
        std::map<int, std::map<int, std::vector<json>>> tables;   // table_id -> segment -> events
        for (const json& e : s.value("schedule", json::array())) {
            const long long hours = (Seconds(e["start"]) - midnight) / 3600;
            tables[int(0x50 + hours / 96)][int(hours % 96 / 3)].push_back(e);
        }
        for (const auto& [tableId, segments] : tables) {
            const int lastSegment = segments.rbegin()->first;
            for (int segment = 0; segment <= lastSegment; ++segment) {
                auto found = segments.find(segment);
                out.push_back(Eit(c, tableId, id, s.value("eit_schedule_version", 0), segment * 8, lastSegment * 8,
                                  segment * 8, tables.rbegin()->first,
                                  found == segments.end() ? std::vector<json>{} : found->second));
            }
        }
    }
    return out;
}

// The TDT, then the TOT; libdvbpsi 1.3.3 writes the TOT without its CRC_32 (and a
// section_length that leaves it out), so both are added here.
std::vector<Bytes> TimeTables(const json& time, long long utc)
{
    dvbpsi_tot_t* tdt = dvbpsi_tot_new(0x70, 0, 0, true, DvbTime(utc));
    Bytes tdtBytes = Take(dvbpsi_tot_sections_generate(g_dvbpsi, tdt)).at(0);
    dvbpsi_tot_delete(tdt);
    tdtBytes[1] |= 0x40;   // reserved_future_use
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
    AddDescriptor(dvbpsi_GenLocalTimeOffsetDr(&dr, false),
                  [&](uint8_t t, uint8_t l, uint8_t* d) { return dvbpsi_tot_descriptor_add(tot, t, l, d); });
    Bytes totBytes = Take(dvbpsi_tot_sections_generate(g_dvbpsi, tot)).at(0);
    dvbpsi_tot_delete(tot);
    const std::size_t length = totBytes.size() - 3 + 4;
    totBytes[1] = uint8_t(0x70 | length >> 8);
    totBytes[2] = uint8_t(length);
    const uint32_t crc = Crc32(totBytes.data(), totBytes.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        totBytes.push_back(uint8_t(crc >> shift));
    return {tdtBytes, totBytes};
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
    std::size_t pos = 0, next = 0;
    for (std::size_t sent = 0; pos < all.size() && sent < keep; ++sent) {
        while (next < starts.size() && starts[next] < pos)
            ++next;
        Bytes packet(188, 0xFF);
        packet[0] = 0x47;
        packet[1] = uint8_t(pid >> 8);
        packet[2] = uint8_t(pid);
        packet[3] = uint8_t(0x10 | (g_continuity[pid]++ & 0x0F));
        std::size_t at = 4, n = 0;
        if (next < starts.size() && starts[next] - pos <= 182) {
            packet[1] |= 0x40;
            packet[at++] = uint8_t(starts[next] - pos);
            n = std::min<std::size_t>(183, all.size() - pos);
        } else {
            n = std::min<std::size_t>(184, (next < starts.size() ? starts[next] : all.size()) - pos);
        }
        std::copy_n(all.begin() + long(pos), n, packet.begin() + long(at));
        pos += n;
        out.push_back(packet);
    }
}

// One set of the SI, for repetition `r`: PAT (SI-only streams), NIT, SDT, EIT, TDT and TOT. A cut
// section of this repetition goes first on its PID, and only its first packet goes out.
std::vector<Bytes> Carousel(const json& c, std::size_t r)
{
    std::vector<Bytes> packets;
    if (c.contains("pat"))
        Packetise(0x0000, {Pat(c)}, packets);
    Packetise(0x0010, Nit(c["nit"]), packets);
    for (const json& cut : c.value("cut_sections", json::array())) {
        if (cut["repetition"] != r)
            continue;
        if (cut["table"] == "sdt")
            Packetise(0x0011, Sdt(c, cut["services"]), packets, 1);
        else
            for (const json& s : c["services"])
                if (s["service_id"] == cut["service_id"])
                    Packetise(0x0012, {Eit(c, 0x4E, s["service_id"], s.value("eit_pf_version", 0), 0, 1, 1, 0x4E,
                                           {cut["event"]})}, packets, 1);
    }
    if (c.contains("sdt"))
        Packetise(0x0011, Sdt(c, c["sdt"]["services"]), packets);
    Packetise(0x0012, Eits(c), packets);
    const json& time = c["time"];
    Packetise(0x0014, TimeTables(time, Seconds(time["utc"]) + long(r) * time.value("step_seconds", 1)), packets);
    return packets;
}

// "update" holds what changes in the second half of the repetitions, versions included:
// tables merged over the config, services matched by service_id.
json Updated(json c)
{
    const json update = c["update"];
    for (auto it = update.begin(); it != update.end(); ++it) {
        if (it.key() != "services") {
            c[it.key()].merge_patch(*it);
            continue;
        }
        for (const json& changed : *it)
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
    std::ifstream configFile(configPath);
    const json config = json::parse(configFile);
    const json updated = config.contains("update") ? Updated(config) : config;
    const std::vector<Bytes> in = inPath == "-" ? std::vector<Bytes>{} : ReadPackets(inPath);
    std::vector<Bytes> out, waiting;
    std::size_t r = 0, sent = 0;
    for (std::size_t i = 0; i <= in.size(); ++i) {
        for (; r < repetitions && r * in.size() / repetitions == i; ++r) {
            std::vector<Bytes> set = Carousel(r < repetitions / 2 ? config : updated, r);
            waiting.insert(waiting.end(), set.begin(), set.end());
        }
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
    if (in.empty())
        out = waiting;
    std::ofstream file(outPath, std::ios::binary);
    for (const Bytes& packet : out)
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
int g_errors = 0;

void OnMessage(dvbpsi_t*, const dvbpsi_msg_level_t level, const char* msg)
{
    if (level == DVBPSI_MSG_ERROR) {
        std::fprintf(stderr, "libdvbpsi: %s\n", msg);
        ++g_errors;
    }
}

json Descriptors(const dvbpsi_descriptor_t* d)
{
    json list = json::array();
    for (; d != nullptr; d = d->p_next)
        list.push_back({{"tag", d->i_tag}, {"length", d->i_length}});
    return list;
}

void Attach(int pid, int program);

void OnPat(void*, dvbpsi_pat_t* pat)
{
    json programs = json::array();
    for (const dvbpsi_pat_program_t* p = pat->p_first_program; p != nullptr; p = p->p_next) {
        programs.push_back({{"number", p->i_number}, {"pid", p->i_pid}});
        if (p->i_number != 0 && g_handles.count(p->i_pid) == 0)
            Attach(p->i_pid, p->i_number);
    }
    g_read["pat"] = {{"transport_stream_id", pat->i_ts_id}, {"version", pat->i_version}, {"programs", programs}};
    dvbpsi_pat_delete(pat);
}

void OnPmt(void* data, dvbpsi_pmt_t* pmt)
{
    json streams = json::array();
    for (const dvbpsi_pmt_es_t* es = pmt->p_first_es; es != nullptr; es = es->p_next) {
        json s = {{"type", es->i_type}, {"pid", es->i_pid}, {"descriptors", Descriptors(es->p_first_descriptor)}};
        for (dvbpsi_descriptor_t* d = es->p_first_descriptor; d != nullptr; d = d->p_next) {
            const dvbpsi_iso639_dr_t* language = d->i_tag == 0x0A ? dvbpsi_DecodeISO639Dr(d) : nullptr;
            if (language != nullptr && language->i_code_count > 0) {
                s["language"] = std::string(reinterpret_cast<const char*>(language->code[0].iso_639_code), 3);
                s["audio_type"] = language->code[0].i_audio_type;
            }
        }
        streams.push_back(s);
    }
    g_read["pmts"][std::to_string(pmt->i_program_number)] = {
        {"program_number", pmt->i_program_number}, {"pid", static_cast<Handle*>(data)->pid},
        {"version", pmt->i_version}, {"pcr_pid", pmt->i_pcr_pid},
        {"descriptors", Descriptors(pmt->p_first_descriptor)}, {"streams", streams}};
    dvbpsi_pmt_delete(pmt);
}

void OnSdt(void*, dvbpsi_sdt_t* sdt)
{
    json services = json::array();
    for (const dvbpsi_sdt_service_t* s = sdt->p_first_service; s != nullptr; s = s->p_next) {
        json e = {{"service_id", s->i_service_id}, {"eit_schedule", s->b_eit_schedule}, {"eit_pf", s->b_eit_present},
                  {"running_status", s->i_running_status}, {"free_ca", s->b_free_ca},
                  {"descriptors", Descriptors(s->p_first_descriptor)}};
        for (dvbpsi_descriptor_t* d = s->p_first_descriptor; d != nullptr; d = d->p_next) {
            if (const dvbpsi_service_dr_t* dr = d->i_tag == 0x48 ? dvbpsi_DecodeServiceDr(d) : nullptr) {
                e["service_type"] = dr->i_service_type;
                e["provider_hex"] = Hex(dr->i_service_provider_name, dr->i_service_provider_name_length);
                e["name_hex"] = Hex(dr->i_service_name, dr->i_service_name_length);
            }
        }
        services.push_back(e);
    }
    g_read["sdt"] = {{"transport_stream_id", sdt->i_extension}, {"original_network_id", sdt->i_network_id},
                     {"version", sdt->i_version}, {"services", services}};
    dvbpsi_sdt_delete(sdt);
}

void OnNit(void*, dvbpsi_nit_t* nit)
{
    json j = {{"network_id", nit->i_network_id}, {"version", nit->i_version},
              {"descriptors", Descriptors(nit->p_first_descriptor)}, {"transport_streams", json::array()}};
    for (dvbpsi_descriptor_t* d = nit->p_first_descriptor; d != nullptr; d = d->p_next)
        if (const dvbpsi_network_name_dr_t* name = d->i_tag == 0x40 ? dvbpsi_DecodeNetworkNameDr(d) : nullptr)
            j["network_name_hex"] = Hex(name->i_name_byte, name->i_name_length);
    for (const dvbpsi_nit_ts_t* ts = nit->p_first_ts; ts != nullptr; ts = ts->p_next) {
        json e = {{"tsid", ts->i_ts_id}, {"onid", ts->i_orig_network_id}, {"descriptors", Descriptors(ts->p_first_descriptor)}};
        for (dvbpsi_descriptor_t* d = ts->p_first_descriptor; d != nullptr; d = d->p_next)
            if (const dvbpsi_terr_deliv_sys_dr_t* t = d->i_tag == 0x5A ? dvbpsi_DecodeTerrDelivSysDr(d) : nullptr)
                e["terrestrial"] = {{"frequency", t->i_centre_frequency}, {"bandwidth", t->i_bandwidth},
                                    {"priority", t->i_priority}, {"time_slicing", t->i_time_slice_indicator},
                                    {"mpe_fec", t->i_mpe_fec_indicator}, {"constellation", t->i_constellation},
                                    {"hierarchy", t->i_hierarchy_information}, {"code_rate_hp", t->i_code_rate_hp_stream},
                                    {"code_rate_lp", t->i_code_rate_lp_stream}, {"guard_interval", t->i_guard_interval},
                                    {"transmission_mode", t->i_transmission_mode},
                                    {"other_frequency", t->i_other_frequency_flag != 0}};
        j["transport_streams"].push_back(e);
    }
    if (nit->i_table_id == 0x40)
        g_read["nit"] = j;
    dvbpsi_nit_delete(nit);
}

void OnTot(void*, dvbpsi_tot_t* tot)
{
    json j = {{"mjd", unsigned(tot->i_utc_time >> 24)}, {"time_bcd", unsigned(tot->i_utc_time & 0xFFFFFF)}};
    if (tot->i_table_id == 0x73)
        j["descriptors"] = Descriptors(tot->p_first_descriptor);
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
    json events = json::array();
    for (const dvbpsi_eit_event_t* ev = eit->p_first_event; ev != nullptr; ev = ev->p_next) {
        json e = {{"event_id", ev->i_event_id}, {"mjd", unsigned(ev->i_start_time >> 24)},
                  {"start_bcd", unsigned(ev->i_start_time & 0xFFFFFF)}, {"duration_bcd", ev->i_duration},
                  {"running_status", ev->i_running_status}, {"free_ca", ev->b_free_ca},
                  {"descriptors", Descriptors(ev->p_first_descriptor)}};
        for (dvbpsi_descriptor_t* d = ev->p_first_descriptor; d != nullptr; d = d->p_next) {
            if (const dvbpsi_short_event_dr_t* se = d->i_tag == 0x4D ? dvbpsi_DecodeShortEventDr(d) : nullptr) {
                e["language"] = std::string(reinterpret_cast<const char*>(se->i_iso_639_code), 3);
                e["name_hex"] = Hex(se->i_event_name, std::size_t(se->i_event_name_length));
                e["text_hex"] = Hex(se->i_text, std::size_t(se->i_text_length));
            }
        }
        events.push_back(e);
    }
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
        auto found = g_handles.find((packet[1] & 0x1F) << 8 | packet[2]);
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
