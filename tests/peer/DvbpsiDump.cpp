// DvbpsiDump: decodes the PSI/SI of a transport stream with libdvbpsi's own decoders and prints
// one JSON document, as an independent reference for the library's parsers.
//
// Usage: DvbpsiDump [--strict] [--out FILE.json] FILE.ts
//   --strict   exit with status 3 when libdvbpsi reported any error (bad CRC_32, continuity,
//              inconsistent sections); the JSON is written either way
//
// Decoded: PAT (PID 0), the PMT of every program the PAT names, and through libdvbpsi's demux
// NIT (PID 0x0010), SDT (0x0011), EIT (0x0012) and TDT/TOT (0x0014). For each table the last
// version seen is kept. EIT is kept per section, keyed by (table_id, service_id, section_number),
// so that present/following and schedule segments can be checked one by one. A section cut short
// (a new section starts on its PID, continuity unbroken, before it is complete) is dropped and
// counted in counters.cut_sections; it is not an error.
//
// Output (key order fixed; absent tables are null):
// { "file", "pat": {transport_stream_id, version, current_next, network_pid?, programs:[{number, pid}]},
//   "pmts": [{program_number, pid, version, pcr_pid, descriptors:[{tag, length}],
//             streams:[{type, pid, descriptors:[{tag, length}], language?}]}],
//   "sdt": {transport_stream_id, original_network_id, version, services:[{service_id, eit_schedule,
//           eit_pf, running_status, free_ca, descriptors, service_type, provider_hex, provider,
//           name_hex, name}]},
//   "nit": {network_id, version, current_next, network_name_hex, network_name, descriptors,
//           transport_streams:[{tsid, onid, descriptors, terrestrial?:{frequency (10 Hz units),
//           bandwidth, priority, time_slicing, mpe_fec, constellation, hierarchy, code_rate_hp,
//           code_rate_lp, guard_interval, transmission_mode, other_frequency}}]},
//   "eits": [{table_id, service_id, section_number, last_section_number,
//             segment_last_section_number, last_table_id, version, current_next, tsid, onid,
//             events:[{event_id, mjd, start_bcd, duration_bcd, running_status, free_ca,
//                      descriptors, language?, name_hex?, text_hex?, name?, text?}]}],
//   "tdt": {mjd, time_bcd}, "tot": {mjd, time_bcd, descriptors, local_time_offsets:[...]},
//   "counters": {sections:{...}, tables:{...}, cut_sections, errors:{crc, continuity, other, warnings},
//                messages:[...], packets:{total, by_pid:[{pid, packets}]}} }
// Text (names, event text) is given as hex and as Latin-1 read into UTF-8, so comparisons do not
// depend on DVB character tables.

#include "DvbpsiIncludes.h"
#include "PeerCommon.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

// Exported by libdvbpsi 1.3.3 but not declared in its installed headers: decodes the events of
// a chain of EIT sections. Used on one section at a time to keep section boundaries visible.
extern "C" void dvbpsi_eit_sections_decode(dvbpsi_eit_t* p_eit, dvbpsi_psi_section_t* p_section);

using nlohmann::ordered_json;

namespace
{

class Dump;

enum class Kind
{
    Pat,
    Pmt,
    Demux
};

struct Handle
{
    Dump* dump = nullptr;
    uint16_t pid = 0;
    Kind kind = Kind::Demux;
    uint16_t program = 0;
    dvbpsi_t* handle = nullptr;
    dvbpsi_callback_gather_t gather = nullptr;
};

std::string TableName(uint8_t tableId)
{
    switch (tableId)
    {
    case 0x00: return "pat";
    case 0x02: return "pmt";
    case 0x40: return "nit_actual";
    case 0x41: return "nit_other";
    case 0x42: return "sdt_actual";
    case 0x46: return "sdt_other";
    case 0x4A: return "bat";
    case 0x4E: return "eit_pf_actual";
    case 0x4F: return "eit_pf_other";
    case 0x70: return "tdt";
    case 0x73: return "tot";
    default: break;
    }
    if (tableId >= 0x50 && tableId <= 0x5F)
        return "eit_schedule_actual";
    if (tableId >= 0x60 && tableId <= 0x6F)
        return "eit_schedule_other";
    char name[16];
    std::snprintf(name, sizeof name, "other_0x%02x", tableId);
    return name;
}

ordered_json Descriptors(const dvbpsi_descriptor_t* d)
{
    ordered_json list = ordered_json::array();
    for (; d != nullptr; d = d->p_next)
        list.push_back({{"tag", d->i_tag}, {"length", d->i_length}});
    return list;
}

void PutText(ordered_json& j, const char* key, const uint8_t* data, std::size_t size)
{
    j[std::string(key) + "_hex"] = peer::Hex(data, size);
    j[key] = peer::Latin1ToUtf8(data, size);
}

void OnMessage(dvbpsi_t* handle, const dvbpsi_msg_level_t level, const char* msg);
void OnSection(dvbpsi_t* handle, dvbpsi_psi_section_t* section);
void OnNewSubtable(dvbpsi_t* handle, uint8_t tableId, uint16_t extension, void* data);
void OnPat(void* data, dvbpsi_pat_t* pat);
void OnPmt(void* data, dvbpsi_pmt_t* pmt);
void OnSdt(void* data, dvbpsi_sdt_t* sdt);
void OnNit(void* data, dvbpsi_nit_t* nit);
void OnEit(void* data, dvbpsi_eit_t* eit);
void OnTot(void* data, dvbpsi_tot_t* tot);

class Dump
{
public:
    ~Dump()
    {
        for (auto& kv : m_handles)
        {
            Handle& h = *kv.second;
            if (h.handle == nullptr)
                continue;
            if (dvbpsi_decoder_present(h.handle))
            {
                if (h.kind == Kind::Pat)
                    dvbpsi_pat_detach(h.handle);
                else if (h.kind == Kind::Pmt)
                    dvbpsi_pmt_detach(h.handle);
                else
                    dvbpsi_DetachDemux(h.handle);
            }
            dvbpsi_delete(h.handle);
        }
    }

    bool Init(std::string& error)
    {
        Handle* pat = NewHandle(0x0000, Kind::Pat, 0, error);
        if (pat == nullptr)
            return false;
        for (uint16_t pid : {uint16_t{0x0010}, uint16_t{0x0011}, uint16_t{0x0012}, uint16_t{0x0014}})
        {
            if (NewHandle(pid, Kind::Demux, 0, error) == nullptr)
                return false;
        }
        return true;
    }

    void Push(uint8_t* packet)
    {
        const uint16_t pid = peer::PacketPid(packet);
        ++m_packets;
        ++m_packetsByPid[pid];
        auto found = m_handles.find(pid);
        if (found == m_handles.end())
            return;
        DropCutSection(*found->second, packet);
        dvbpsi_packet_push(found->second->handle, packet);
    }

    // A packet that starts a section while the section in progress still needs more bytes than
    // come before the new start ends that section: it was cut short. libdvbpsi 1.3.3 would fill
    // it up with the new section's bytes (a CRC error, and the new section lost), so the cut
    // section is dropped here first, as a receiver must drop it.
    void DropCutSection(Handle& h, const uint8_t* packet)
    {
        dvbpsi_decoder_t* decoder = h.handle->p_decoder;
        if (decoder == nullptr || decoder->p_current_section == nullptr)
            return;
        if (!(packet[1] & 0x40) || !(packet[3] & 0x10))
            return;
        // On a continuity break libdvbpsi drops the section itself and reports it.
        if ((packet[3] & 0x0F) != ((decoder->i_continuity_counter + 1) & 0x0F))
            return;
        std::size_t at = 4;
        if (packet[3] & 0x20)
            at += 1 + packet[4];
        if (at >= peer::kPacketSize)
            return;
        const std::size_t before = packet[at]; // bytes that may still end the current section
        const uint8_t* next = packet + at + 1;
        const std::size_t room = peer::kPacketSize - (at + 1);
        std::size_t remaining = 0;
        if (decoder->b_complete_header)
        {
            remaining = static_cast<std::size_t>(decoder->i_need);
        }
        else
        {
            // The header is still being read: complete it from this packet to learn the length.
            const dvbpsi_psi_section_t* s = decoder->p_current_section;
            uint8_t header[3] = {0, 0, 0};
            const std::size_t have = static_cast<std::size_t>(s->p_payload_end - s->p_data);
            for (std::size_t i = 0; i < 3; ++i)
            {
                if (i < have)
                    header[i] = s->p_data[i];
                else if (i - have < std::min(before, room))
                    header[i] = next[i - have];
                else
                    remaining = SIZE_MAX; // the header itself does not finish before the new start
            }
            if (remaining == 0)
                remaining = (3 - have) + (static_cast<std::size_t>(header[1] & 0x0F) << 8 | header[2]);
        }
        if (remaining <= before)
            return;
        dvbpsi_DeletePSISections(decoder->p_current_section);
        decoder->p_current_section = nullptr;
        ++m_cutSections;
        if (m_messages.size() < 100)
        {
            char text[96];
            std::snprintf(text, sizeof text, "note pid 0x%04x: section cut short by a new section, dropped", h.pid);
            m_messages.push_back(text);
        }
    }

    // --- callbacks -----------------------------------------------------------------------

    void Message(const Handle& h, dvbpsi_msg_level_t level, const char* msg)
    {
        const std::string text = msg;
        if (level == DVBPSI_MSG_WARN)
            ++m_warnings;
        else if (level == DVBPSI_MSG_ERROR)
        {
            if (text.find("CRC") != std::string::npos)
                ++m_crcErrors;
            else if (text.find("TS discontinuity") != std::string::npos || text.find("TS duplicate") != std::string::npos)
                ++m_ccErrors;
            else
                ++m_otherErrors;
        }
        else
        {
            return;
        }
        if (m_messages.size() < 100)
        {
            char pid[16];
            std::snprintf(pid, sizeof pid, "0x%04x", h.pid);
            m_messages.push_back(std::string(level == DVBPSI_MSG_WARN ? "warning" : "error") + " pid " + pid + ": " + text);
        }
    }

    void Section(Handle& h, dvbpsi_psi_section_t* s)
    {
        ++m_sections[TableName(s->i_table_id)];
        if (s->i_table_id >= 0x4E && s->i_table_id <= 0x6F && h.pid == 0x0012)
            EitSection(s);
    }

    void NewSubtable(Handle& h, uint8_t tableId, uint16_t extension)
    {
        bool ok = true;
        if (h.pid == 0x0010 && (tableId == 0x40 || tableId == 0x41))
            ok = dvbpsi_nit_attach(h.handle, tableId, extension, &OnNit, &h);
        else if (h.pid == 0x0011 && (tableId == 0x42 || tableId == 0x46))
            ok = dvbpsi_sdt_attach(h.handle, tableId, extension, &OnSdt, &h);
        else if (h.pid == 0x0012 && tableId >= 0x4E && tableId <= 0x6F)
            ok = dvbpsi_eit_attach(h.handle, tableId, extension, &OnEit, &h);
        else if (h.pid == 0x0014 && (tableId == 0x70 || tableId == 0x73))
            ok = dvbpsi_tot_attach(h.handle, tableId, extension, &OnTot, &h);
        if (!ok)
            Message(h, DVBPSI_MSG_ERROR, ("cannot attach a decoder for table " + TableName(tableId)).c_str());
    }

    void Pat(Handle& h, const dvbpsi_pat_t* pat)
    {
        ++m_tables["pat"];
        ordered_json j;
        j["transport_stream_id"] = pat->i_ts_id;
        j["version"] = pat->i_version;
        j["current_next"] = pat->b_current_next;
        j["programs"] = ordered_json::array();
        for (const dvbpsi_pat_program_t* p = pat->p_first_program; p != nullptr; p = p->p_next)
        {
            j["programs"].push_back({{"number", p->i_number}, {"pid", p->i_pid}});
            if (p->i_number == 0)
            {
                j["network_pid"] = p->i_pid;
                continue;
            }
            auto found = m_handles.find(p->i_pid);
            if (found == m_handles.end())
            {
                std::string error;
                if (NewHandle(p->i_pid, Kind::Pmt, p->i_number, error) == nullptr)
                    Message(h, DVBPSI_MSG_ERROR, error.c_str());
            }
            else if (found->second->kind != Kind::Pmt || found->second->program != p->i_number)
            {
                Message(h, DVBPSI_MSG_WARN, ("PID " + std::to_string(p->i_pid) + " of program " +
                                             std::to_string(p->i_number) + " is already decoded for another use")
                                                .c_str());
            }
        }
        m_pat = j;
    }

    void Pmt(const dvbpsi_pmt_t* pmt, uint16_t pid)
    {
        ++m_tables["pmt"];
        ordered_json j;
        j["program_number"] = pmt->i_program_number;
        j["pid"] = pid;
        j["version"] = pmt->i_version;
        j["current_next"] = pmt->b_current_next;
        j["pcr_pid"] = pmt->i_pcr_pid;
        j["descriptors"] = Descriptors(pmt->p_first_descriptor);
        j["streams"] = ordered_json::array();
        for (const dvbpsi_pmt_es_t* es = pmt->p_first_es; es != nullptr; es = es->p_next)
        {
            ordered_json s;
            s["type"] = es->i_type;
            s["pid"] = es->i_pid;
            s["descriptors"] = Descriptors(es->p_first_descriptor);
            for (dvbpsi_descriptor_t* d = es->p_first_descriptor; d != nullptr; d = d->p_next)
            {
                if (d->i_tag != 0x0A)
                    continue;
                const dvbpsi_iso639_dr_t* lang = dvbpsi_DecodeISO639Dr(d);
                if (lang != nullptr && lang->i_code_count > 0)
                {
                    s["language"] = std::string(reinterpret_cast<const char*>(lang->code[0].iso_639_code), 3);
                    s["audio_type"] = lang->code[0].i_audio_type;
                    break;
                }
            }
            j["streams"].push_back(s);
        }
        m_pmts[pmt->i_program_number] = j;
    }

    void Sdt(const dvbpsi_sdt_t* sdt)
    {
        ++m_tables[TableName(sdt->i_table_id)];
        if (sdt->i_table_id != 0x42)
            return;
        ordered_json j;
        j["transport_stream_id"] = sdt->i_extension;
        j["original_network_id"] = sdt->i_network_id;
        j["version"] = sdt->i_version;
        j["current_next"] = sdt->b_current_next;
        j["services"] = ordered_json::array();
        for (const dvbpsi_sdt_service_t* s = sdt->p_first_service; s != nullptr; s = s->p_next)
        {
            ordered_json e;
            e["service_id"] = s->i_service_id;
            e["eit_schedule"] = s->b_eit_schedule;
            e["eit_pf"] = s->b_eit_present;
            e["running_status"] = s->i_running_status;
            e["free_ca"] = s->b_free_ca;
            e["descriptors"] = Descriptors(s->p_first_descriptor);
            for (dvbpsi_descriptor_t* d = s->p_first_descriptor; d != nullptr; d = d->p_next)
            {
                if (d->i_tag != 0x48)
                    continue;
                const dvbpsi_service_dr_t* dr = dvbpsi_DecodeServiceDr(d);
                if (dr == nullptr)
                    continue;
                e["service_type"] = dr->i_service_type;
                PutText(e, "provider", dr->i_service_provider_name, dr->i_service_provider_name_length);
                PutText(e, "name", dr->i_service_name, dr->i_service_name_length);
                break;
            }
            j["services"].push_back(e);
        }
        m_sdt = j;
    }

    void Nit(const dvbpsi_nit_t* nit)
    {
        ++m_tables[TableName(nit->i_table_id)];
        if (nit->i_table_id != 0x40)
            return;
        ordered_json j;
        j["network_id"] = nit->i_network_id;
        j["version"] = nit->i_version;
        j["current_next"] = nit->b_current_next;
        for (dvbpsi_descriptor_t* d = nit->p_first_descriptor; d != nullptr; d = d->p_next)
        {
            if (d->i_tag != 0x40)
                continue;
            const dvbpsi_network_name_dr_t* dr = dvbpsi_DecodeNetworkNameDr(d);
            if (dr != nullptr)
            {
                PutText(j, "network_name", dr->i_name_byte, dr->i_name_length);
                break;
            }
        }
        j["descriptors"] = Descriptors(nit->p_first_descriptor);
        j["transport_streams"] = ordered_json::array();
        for (const dvbpsi_nit_ts_t* ts = nit->p_first_ts; ts != nullptr; ts = ts->p_next)
        {
            ordered_json e;
            e["tsid"] = ts->i_ts_id;
            e["onid"] = ts->i_orig_network_id;
            e["descriptors"] = Descriptors(ts->p_first_descriptor);
            for (dvbpsi_descriptor_t* d = ts->p_first_descriptor; d != nullptr; d = d->p_next)
            {
                if (d->i_tag != 0x5A)
                    continue;
                const dvbpsi_terr_deliv_sys_dr_t* t = dvbpsi_DecodeTerrDelivSysDr(d);
                if (t == nullptr)
                    continue;
                e["terrestrial"] = {{"frequency", t->i_centre_frequency},
                                    {"bandwidth", t->i_bandwidth},
                                    {"priority", t->i_priority},
                                    {"time_slicing", t->i_time_slice_indicator},
                                    {"mpe_fec", t->i_mpe_fec_indicator},
                                    {"constellation", t->i_constellation},
                                    {"hierarchy", t->i_hierarchy_information},
                                    {"code_rate_hp", t->i_code_rate_hp_stream},
                                    {"code_rate_lp", t->i_code_rate_lp_stream},
                                    {"guard_interval", t->i_guard_interval},
                                    {"transmission_mode", t->i_transmission_mode},
                                    {"other_frequency", t->i_other_frequency_flag != 0}};
                break;
            }
            j["transport_streams"].push_back(e);
        }
        m_nit = j;
    }

    void Eit(const dvbpsi_eit_t* eit)
    {
        ++m_tables[TableName(eit->i_table_id)];
    }

    void Tot(dvbpsi_tot_t* tot)
    {
        const uint8_t tableId = tot->i_table_id;
        const uint64_t utc = tot->i_utc_time;
        dvbpsi_descriptor_t* first = tot->p_first_descriptor;
        ++m_tables[TableName(tableId)];
        ordered_json j;
        j["mjd"] = static_cast<unsigned>(utc >> 24);
        j["time_bcd"] = static_cast<unsigned>(utc & 0xFFFFFF);
        if (tableId == 0x70)
        {
            m_tdt = j;
            return;
        }
        j["descriptors"] = Descriptors(first);
        j["local_time_offsets"] = ordered_json::array();
        for (dvbpsi_descriptor_t* d = first; d != nullptr; d = d->p_next)
        {
            if (d->i_tag != 0x58)
                continue;
            const dvbpsi_local_time_offset_dr_t* dr = dvbpsi_DecodeLocalTimeOffsetDr(d);
            if (dr == nullptr)
                continue;
            for (int i = 0; i < dr->i_local_time_offsets_number; ++i)
            {
                const dvbpsi_local_time_offset_t& l = dr->p_local_time_offset[i];
                j["local_time_offsets"].push_back(
                    {{"country", std::string(reinterpret_cast<const char*>(l.i_country_code), 3)},
                     {"region_id", l.i_country_region_id},
                     {"polarity", l.i_local_time_offset_polarity},
                     {"offset_bcd", l.i_local_time_offset},
                     {"time_of_change_mjd", static_cast<unsigned>(l.i_time_of_change >> 24)},
                     {"time_of_change_bcd", static_cast<unsigned>(l.i_time_of_change & 0xFFFFFF)},
                     {"next_offset_bcd", l.i_next_time_offset}});
            }
        }
        m_tot = j;
    }

    ordered_json Result(const std::string& file) const
    {
        ordered_json j;
        j["file"] = file;
        j["pat"] = m_pat;
        ordered_json pmts = ordered_json::array();
        for (const auto& kv : m_pmts)
            pmts.push_back(kv.second);
        j["pmts"] = pmts;
        j["sdt"] = m_sdt;
        j["nit"] = m_nit;
        ordered_json eits = ordered_json::array();
        for (const auto& kv : m_eits)
            eits.push_back(kv.second);
        j["eits"] = eits;
        j["tdt"] = m_tdt;
        j["tot"] = m_tot;

        ordered_json sections;
        for (const char* name : {"pat", "pmt", "nit_actual", "sdt_actual", "eit_pf_actual", "eit_schedule_actual",
                                 "tdt", "tot"})
            sections[name] = 0;
        for (const auto& kv : m_sections)
            sections[kv.first] = kv.second;
        ordered_json tables;
        for (const auto& kv : m_tables)
            tables[kv.first] = kv.second;
        ordered_json byPid = ordered_json::array();
        for (const auto& kv : m_packetsByPid)
            byPid.push_back({{"pid", kv.first}, {"packets", kv.second}});
        j["counters"] = {{"sections", sections},
                         {"tables", tables},
                         {"cut_sections", m_cutSections},
                         {"errors",
                          {{"crc", m_crcErrors}, {"continuity", m_ccErrors}, {"other", m_otherErrors}, {"warnings", m_warnings}}},
                         {"messages", m_messages},
                         {"packets", {{"total", m_packets}, {"by_pid", byPid}}}};
        return j;
    }

    std::size_t Errors() const { return m_crcErrors + m_ccErrors + m_otherErrors; }

private:
    Handle* NewHandle(uint16_t pid, Kind kind, uint16_t program, std::string& error)
    {
        auto h = std::make_unique<Handle>();
        h->dump = this;
        h->pid = pid;
        h->kind = kind;
        h->program = program;
        h->handle = dvbpsi_new(&OnMessage, DVBPSI_MSG_WARN);
        if (h->handle == nullptr)
        {
            error = "dvbpsi_new failed";
            return nullptr;
        }
        h->handle->p_sys = h.get();
        bool ok = false;
        if (kind == Kind::Pat)
            ok = dvbpsi_pat_attach(h->handle, &OnPat, h.get());
        else if (kind == Kind::Pmt)
            ok = dvbpsi_pmt_attach(h->handle, program, &OnPmt, h.get());
        else
            ok = dvbpsi_AttachDemux(h->handle, &OnNewSubtable, h.get());
        if (!ok)
        {
            dvbpsi_delete(h->handle);
            error = "cannot attach a libdvbpsi decoder on PID " + std::to_string(pid);
            return nullptr;
        }
        // Every complete section passes through OnSection first, for counting and per-section EIT.
        h->gather = h->handle->p_decoder->pf_gather;
        h->handle->p_decoder->pf_gather = &OnSection;
        Handle* raw = h.get();
        m_handles[pid] = std::move(h);
        return raw;
    }

    void EitSection(dvbpsi_psi_section_t* s)
    {
        const uint8_t* p = s->p_payload_start;
        if (s->p_payload_end - p < 6)
            return;
        dvbpsi_eit_t* eit = dvbpsi_eit_new(s->i_table_id, s->i_extension, s->i_version, s->b_current_next,
                                           static_cast<uint16_t>(p[0] << 8 | p[1]), static_cast<uint16_t>(p[2] << 8 | p[3]),
                                           p[4], p[5]);
        if (eit == nullptr)
            return;
        dvbpsi_psi_section_t* next = s->p_next;
        s->p_next = nullptr;
        dvbpsi_eit_sections_decode(eit, s);
        s->p_next = next;

        ordered_json j;
        j["table_id"] = s->i_table_id;
        j["service_id"] = s->i_extension;
        j["section_number"] = s->i_number;
        j["last_section_number"] = s->i_last_number;
        j["segment_last_section_number"] = p[4];
        j["last_table_id"] = p[5];
        j["version"] = s->i_version;
        j["current_next"] = s->b_current_next;
        j["tsid"] = eit->i_ts_id;
        j["onid"] = eit->i_network_id;
        j["events"] = ordered_json::array();
        for (const dvbpsi_eit_event_t* ev = eit->p_first_event; ev != nullptr; ev = ev->p_next)
        {
            ordered_json e;
            e["event_id"] = ev->i_event_id;
            e["mjd"] = static_cast<unsigned>(ev->i_start_time >> 24);
            e["start_bcd"] = static_cast<unsigned>(ev->i_start_time & 0xFFFFFF);
            e["duration_bcd"] = ev->i_duration;
            e["running_status"] = ev->i_running_status;
            e["free_ca"] = ev->b_free_ca;
            e["descriptors"] = Descriptors(ev->p_first_descriptor);
            for (dvbpsi_descriptor_t* d = ev->p_first_descriptor; d != nullptr; d = d->p_next)
            {
                if (d->i_tag != 0x4D)
                    continue;
                const dvbpsi_short_event_dr_t* se = dvbpsi_DecodeShortEventDr(d);
                if (se == nullptr)
                    continue;
                e["language"] = std::string(reinterpret_cast<const char*>(se->i_iso_639_code), 3);
                PutText(e, "name", se->i_event_name, static_cast<std::size_t>(se->i_event_name_length));
                PutText(e, "text", se->i_text, static_cast<std::size_t>(se->i_text_length));
                break;
            }
            j["events"].push_back(e);
        }
        dvbpsi_eit_delete(eit);
        m_eits[std::make_tuple(s->i_table_id, s->i_extension, s->i_number)] = j;
    }

    std::map<uint16_t, std::unique_ptr<Handle>> m_handles;
    ordered_json m_pat, m_sdt, m_nit, m_tdt, m_tot;
    std::map<uint16_t, ordered_json> m_pmts;
    std::map<std::tuple<uint8_t, uint16_t, uint8_t>, ordered_json> m_eits;
    std::map<std::string, std::size_t> m_sections, m_tables;
    std::size_t m_crcErrors = 0, m_ccErrors = 0, m_otherErrors = 0, m_warnings = 0;
    std::size_t m_cutSections = 0;
    std::vector<std::string> m_messages;
    std::size_t m_packets = 0;
    std::map<uint16_t, std::size_t> m_packetsByPid;
};

Handle& Of(void* data)
{
    return *static_cast<Handle*>(data);
}

void OnMessage(dvbpsi_t* handle, const dvbpsi_msg_level_t level, const char* msg)
{
    if (handle != nullptr && handle->p_sys != nullptr)
    {
        Handle& h = Of(handle->p_sys);
        h.dump->Message(h, level, msg);
    }
}

void OnSection(dvbpsi_t* handle, dvbpsi_psi_section_t* section)
{
    Handle& h = Of(handle->p_sys);
    h.dump->Section(h, section);
    h.gather(handle, section);
}

void OnNewSubtable(dvbpsi_t*, uint8_t tableId, uint16_t extension, void* data)
{
    Handle& h = Of(data);
    h.dump->NewSubtable(h, tableId, extension);
}

void OnPat(void* data, dvbpsi_pat_t* pat)
{
    Handle& h = Of(data);
    h.dump->Pat(h, pat);
    dvbpsi_pat_delete(pat);
}

void OnPmt(void* data, dvbpsi_pmt_t* pmt)
{
    Handle& h = Of(data);
    h.dump->Pmt(pmt, h.pid);
    dvbpsi_pmt_delete(pmt);
}

void OnSdt(void* data, dvbpsi_sdt_t* sdt)
{
    Of(data).dump->Sdt(sdt);
    dvbpsi_sdt_delete(sdt);
}

void OnNit(void* data, dvbpsi_nit_t* nit)
{
    Of(data).dump->Nit(nit);
    dvbpsi_nit_delete(nit);
}

void OnEit(void* data, dvbpsi_eit_t* eit)
{
    Of(data).dump->Eit(eit);
    dvbpsi_eit_delete(eit);
}

void OnTot(void* data, dvbpsi_tot_t* tot)
{
    Of(data).dump->Tot(tot);
    dvbpsi_tot_delete(tot);
}

void Usage()
{
    std::fprintf(stderr, "usage: DvbpsiDump [--strict] [--out FILE.json] FILE.ts\n");
}

int Run(int argc, char** argv)
{
    bool strict = false;
    std::string input, output;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        if (arg == "--strict")
        {
            strict = true;
        }
        else if (arg == "--out" && i + 1 < argc)
        {
            output = argv[++i];
        }
        else if (arg == "--help" || arg == "-h")
        {
            Usage();
            return 0;
        }
        else if (!arg.empty() && arg[0] != '-' && input.empty())
        {
            input = arg;
        }
        else
        {
            std::fprintf(stderr, "DvbpsiDump: unexpected argument %s\n", arg.c_str());
            Usage();
            return 2;
        }
    }
    if (input.empty())
    {
        Usage();
        return 2;
    }

    std::vector<uint8_t> data;
    std::string error;
    if (!peer::ReadTsFile(input, data, error))
    {
        std::fprintf(stderr, "DvbpsiDump: %s\n", error.c_str());
        return 1;
    }
    Dump dump;
    if (!dump.Init(error))
    {
        std::fprintf(stderr, "DvbpsiDump: %s\n", error.c_str());
        return 1;
    }
    for (std::size_t off = 0; off < data.size(); off += peer::kPacketSize)
        dump.Push(data.data() + off);

    const std::string text = dump.Result(input).dump(2) + "\n";
    if (output.empty())
    {
        std::fwrite(text.data(), 1, text.size(), stdout);
    }
    else if (!peer::WriteTextFile(output, text, error))
    {
        std::fprintf(stderr, "DvbpsiDump: %s\n", error.c_str());
        return 1;
    }
    if (strict && dump.Errors() > 0)
    {
        std::fprintf(stderr, "DvbpsiDump: libdvbpsi reported %zu errors in %s\n", dump.Errors(), input.c_str());
        return 3;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try
    {
        return Run(argc, argv);
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "DvbpsiDump: %s\n", e.what());
        return 2;
    }
}
