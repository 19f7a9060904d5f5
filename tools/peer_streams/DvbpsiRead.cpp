// DvbpsiFixture read: libdvbpsi's reading of a stream as JSON.
#include "DvbpsiFixture.h"

extern "C" {
#include <dvbpsi/demux.h>
#include <dvbpsi/pat.h>
#include <dvbpsi/pmt.h>
#include <dvbpsi/sdt.h>
#include <dvbpsi/dr_83.h>
#include <dvbpsi/nit.h>
#include <dvbpsi/eit.h>
#include <dvbpsi/tot.h>
#include <dvbpsi/dr_0a.h>
#include <dvbpsi/dr_40.h>
#include <dvbpsi/dr_48.h>
#include <dvbpsi/dr_4d.h>
// Exported by libdvbpsi 1.3.3 but not declared: decodes the events of a chain of EIT sections.
void dvbpsi_eit_sections_decode(dvbpsi_eit_t* eit, dvbpsi_psi_section_t* section);
}

#include <iostream>
#include <map>

// PID 0 and each PMT with their own decoder, NIT/SDT/EIT/TDT through the demux; every complete
// section passes OnSection first. The last version of each table is kept; PMTs by program, EIT
// by table/service/section, so that each schedule segment can be compared on its own.

namespace {

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
        if (d->i_tag == 0x5F && d->i_length == 4)
            entry["private_data_specifier"] = uint32_t(d->p_data[0]) << 24 | d->p_data[1] << 16 | d->p_data[2] << 8 | d->p_data[3];
        if (const auto* l = d->i_tag == 0x83 ? dvbpsi_DecodeLCNDr(d) : nullptr)
            for (int i = 0; i < l->i_number_of_entries; ++i)
                entry["lcn"].push_back({{"service_id", l->p_entries[i].i_service_id},
                                        {"number", l->p_entries[i].i_logical_channel_number},
                                        {"visible", l->p_entries[i].b_visible_service_flag != 0}});
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
    dvbpsi_eit_sections_decode(eit, s);   // a section just gathered is no chain yet
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

}  // namespace

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
