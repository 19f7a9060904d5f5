// DvbpsiFixture make: the config's SI made by libdvbpsi's generators, packetised and laid into
// the null packets of a stream, or sent alone.
#include "DvbpsiFixture.h"

extern "C" {
#include <dvbpsi/pat.h>
#include <dvbpsi/sdt.h>
#include <dvbpsi/dr_83.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/tot.h>
#include <dvbpsi/dr_40.h>
#include <dvbpsi/dr_48.h>
#include <dvbpsi/dr_4d.h>
#include <dvbpsi/dr_58.h>
}

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <stdexcept>

namespace {

dvbpsi_t* g_dvbpsi = nullptr;

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

// The digits of a text as BCD: "HH:MM:SS" gives six, "+HH:MM" four.
uint32_t Bcd(const std::string& text)
{
    uint32_t bcd = 0;
    for (char c : text)
        if (c >= '0' && c <= '9')
            bcd = bcd << 4 | uint32_t(c - '0');
    return bcd;
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
    char clock[32];
    std::snprintf(clock, sizeof clock, "%02lld%02lld%02lld", seconds % 86400 / 3600, seconds / 60 % 60, seconds % 60);
    return uint64_t(seconds / 86400 + 40587) << 24 | Bcd(clock);
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
        dvbpsi_nit_ts_t* entry = dvbpsi_nit_ts_add(nit, ts["transport_stream_id"], ts["original_network_id"]);
        AddDescriptor(dvbpsi_GenTerrDelivSysDr(&dr, false), dvbpsi_nit_ts_descriptor_add, entry);
        // logical channel numbers, behind the private data specifier that gives tag 0x83 its meaning
        if (ts.contains("private_data_specifier")) {
            const uint32_t specifier = ts["private_data_specifier"];
            uint8_t bytes[4] = {uint8_t(specifier >> 24), uint8_t(specifier >> 16), uint8_t(specifier >> 8), uint8_t(specifier)};
            if (dvbpsi_nit_ts_descriptor_add(entry, 0x5F, 4, bytes) == nullptr)
                throw std::runtime_error("the private data specifier descriptor could not be added");
        }
        if (ts.contains("lcn")) {
            dvbpsi_lcn_dr_t lcn{};
            for (const json& channel : ts["lcn"]) {
                dvbpsi_lcn_entry_t& e = lcn.p_entries[lcn.i_number_of_entries++];
                e.i_service_id = channel["service_id"];
                e.i_logical_channel_number = channel["number"];
                e.b_visible_service_flag = channel["visible"].get<bool>();
            }
            AddDescriptor(dvbpsi_GenLCNDr(&lcn, false), dvbpsi_nit_ts_descriptor_add, entry);
        }
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
            dvbpsi_eit_event_add(eit, e["event_id"], DvbTime(Seconds(e["start"])), Bcd(e["duration"]),
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
        e.i_local_time_offset = Bcd(l["offset"]);
        e.i_time_of_change = DvbTime(Seconds(l["time_of_change"]));
        e.i_next_time_offset = Bcd(l["next_offset"]);
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

}  // namespace

int Make(const std::string& configPath, const std::string& inPath, std::size_t repetitions, const std::string& outPath)
{
    g_dvbpsi = dvbpsi_new(&OnMessage, DVBPSI_MSG_ERROR);
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
