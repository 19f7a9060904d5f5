// SIStreamWriter's section generation: every table is made with libdvbpsi's generators, then
// checked (CRC_32) and, where libdvbpsi 1.3.3 gets a field wrong, corrected here (see README.md).

#include "SIStreamWriter.h"
#include "PeerCommon.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace siw
{
namespace
{

void SilentMessage(dvbpsi_t*, const dvbpsi_msg_level_t level, const char* msg)
{
    if (level == DVBPSI_MSG_ERROR)
        std::fprintf(stderr, "libdvbpsi: %s\n", msg);
}

// Copies a generated section's bytes as its header declares them, then checks the CRC itself so
// that a generator fault never reaches the output silently.
bool TakeSection(const dvbpsi_psi_section_t* s, bool hasCrc, std::vector<uint8_t>& out, std::string& error)
{
    const std::size_t length = static_cast<std::size_t>((s->p_data[1] & 0x0F) << 8 | s->p_data[2]);
    out.assign(s->p_data, s->p_data + 3 + length);
    if (hasCrc && peer::Crc32Mpeg2(out.data(), out.size()) != 0)
    {
        error = "generated section with table_id 0x" + peer::Hex(out.data(), 1) + " has a bad CRC_32";
        return false;
    }
    return true;
}

bool AddDescriptorCopy(dvbpsi_descriptor_t* generated, std::string& error,
                       const std::function<dvbpsi_descriptor_t*(uint8_t, uint8_t, uint8_t*)>& add)
{
    if (generated == nullptr)
    {
        error = "libdvbpsi descriptor generator failed";
        return false;
    }
    const bool ok = add(generated->i_tag, generated->i_length, generated->p_data) != nullptr;
    dvbpsi_DeleteDescriptors(generated);
    if (!ok)
        error = "libdvbpsi could not add a descriptor";
    return ok;
}

bool GenerateNit(dvbpsi_t* h, const Nit& cfg, std::vector<Section>& out, std::string& error)
{
    std::unique_ptr<dvbpsi_nit_t, void (*)(dvbpsi_nit_t*)> nit(
        dvbpsi_nit_new(0x40, cfg.networkId, cfg.networkId, cfg.version, true), &dvbpsi_nit_delete);
    if (!nit)
    {
        error = "dvbpsi_nit_new failed";
        return false;
    }
    dvbpsi_network_name_dr_t name{};
    name.i_name_length = static_cast<uint8_t>(cfg.name.size());
    std::copy(cfg.name.begin(), cfg.name.end(), name.i_name_byte);
    if (!AddDescriptorCopy(dvbpsi_GenNetworkNameDr(&name, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
            return dvbpsi_nit_descriptor_add(nit.get(), t, l, d);
        }))
        return false;
    for (const NitTs& ts : cfg.transportStreams)
    {
        dvbpsi_nit_ts_t* entry = dvbpsi_nit_ts_add(nit.get(), ts.tsid, ts.onid);
        if (entry == nullptr)
        {
            error = "dvbpsi_nit_ts_add failed";
            return false;
        }
        if (!ts.terrestrial)
            continue;
        const Terrestrial& t = *ts.terrestrial;
        dvbpsi_terr_deliv_sys_dr_t dr{};
        dr.i_centre_frequency = t.frequency10Hz;
        dr.i_bandwidth = t.bandwidth;
        dr.i_priority = t.priority;
        dr.i_time_slice_indicator = t.timeSlicing;
        dr.i_mpe_fec_indicator = t.mpeFec;
        dr.i_constellation = t.constellation;
        dr.i_hierarchy_information = t.hierarchy;
        dr.i_code_rate_hp_stream = t.codeRateHp;
        dr.i_code_rate_lp_stream = t.codeRateLp;
        dr.i_guard_interval = t.guardInterval;
        dr.i_transmission_mode = t.transmissionMode;
        dr.i_other_frequency_flag = t.otherFrequency;
        if (!AddDescriptorCopy(dvbpsi_GenTerrDelivSysDr(&dr, false), error, [&](uint8_t tag, uint8_t l, uint8_t* d) {
                return dvbpsi_nit_ts_descriptor_add(entry, tag, l, d);
            }))
            return false;
    }
    dvbpsi_psi_section_t* first = dvbpsi_nit_sections_generate(h, nit.get(), 0x40);
    if (first == nullptr)
    {
        error = "dvbpsi_nit_sections_generate failed";
        return false;
    }
    bool ok = true;
    for (dvbpsi_psi_section_t* s = first; s != nullptr && ok; s = s->p_next)
    {
        // libdvbpsi writes reserved_future_use (byte 1, bit 6) as 0; DVB sets it to 1.
        s->b_private_indicator = true;
        dvbpsi_BuildPSISection(h, s);
        Section out1;
        out1.pid = kNitPid;
        ok = TakeSection(s, true, out1.bytes, error);
        out.push_back(std::move(out1));
    }
    dvbpsi_DeletePSISections(first);
    return ok;
}

// One service descriptor (0x48) per service, in the order of the config.
bool AddServices(dvbpsi_sdt_t* sdt, const std::vector<SdtService>& services, std::string& error)
{
    for (const SdtService& svc : services)
    {
        dvbpsi_sdt_service_t* entry =
            dvbpsi_sdt_service_add(sdt, svc.serviceId, svc.eitSchedule, svc.eitPf, svc.runningStatus, svc.freeCa);
        if (entry == nullptr)
        {
            error = "dvbpsi_sdt_service_add failed";
            return false;
        }
        dvbpsi_service_dr_t dr{};
        dr.i_service_type = svc.serviceType;
        dr.i_service_provider_name_length = static_cast<uint8_t>(svc.provider.size());
        std::copy(svc.provider.begin(), svc.provider.end(), dr.i_service_provider_name);
        dr.i_service_name_length = static_cast<uint8_t>(svc.name.size());
        std::copy(svc.name.begin(), svc.name.end(), dr.i_service_name);
        if (!AddDescriptorCopy(dvbpsi_GenServiceDr(&dr, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
                return dvbpsi_sdt_service_descriptor_add(entry, t, l, d);
            }))
            return false;
    }
    return true;
}

bool GenerateSdt(dvbpsi_t* h, const Config& cfg, uint8_t version, const std::vector<SdtService>& services,
                 std::vector<Section>& out, std::string& error)
{
    std::unique_ptr<dvbpsi_sdt_t, void (*)(dvbpsi_sdt_t*)> sdt(dvbpsi_sdt_new(0x42, cfg.tsid, version, true, cfg.onid),
                                                                &dvbpsi_sdt_delete);
    if (!sdt)
    {
        error = "dvbpsi_sdt_new failed";
        return false;
    }
    if (!AddServices(sdt.get(), services, error))
        return false;
    dvbpsi_psi_section_t* first = dvbpsi_sdt_sections_generate(h, sdt.get());
    if (first == nullptr)
    {
        error = "dvbpsi_sdt_sections_generate failed";
        return false;
    }
    bool ok = true;
    for (dvbpsi_psi_section_t* s = first; s != nullptr && ok; s = s->p_next)
    {
        Section section;
        section.pid = kSdtPid;
        ok = TakeSection(s, true, section.bytes, error);
        // libdvbpsi 1.3.3 sets reserved_future_use here itself; checked so a later version that
        // does not is noticed rather than written.
        if (ok && (section.bytes[1] & 0x40) == 0)
        {
            error = "libdvbpsi wrote an SDT section with reserved_future_use 0";
            ok = false;
        }
        out.push_back(std::move(section));
    }
    dvbpsi_DeletePSISections(first);
    return ok;
}

bool GenerateEitSection(dvbpsi_t* h, const Config& cfg, EitSection& es, std::string& error)
{
    std::unique_ptr<dvbpsi_eit_t, void (*)(dvbpsi_eit_t*)> eit(
        dvbpsi_eit_new(es.tableId, es.serviceId, es.version, true, cfg.tsid, cfg.onid, es.segmentLast,
                       es.lastTableId),
        &dvbpsi_eit_delete);
    if (!eit)
    {
        error = "dvbpsi_eit_new failed";
        return false;
    }
    for (const Event& ev : es.events)
    {
        dvbpsi_eit_event_t* event = dvbpsi_eit_event_add(eit.get(), ev.eventId, peer::ToDvbTime(ev.start).Raw40(),
                                                         ev.durationBcd, ev.runningStatus, ev.freeCa, 0);
        if (event == nullptr)
        {
            error = "dvbpsi_eit_event_add failed";
            return false;
        }
        dvbpsi_short_event_dr_t se{};
        std::memcpy(se.i_iso_639_code, ev.language.data(), 3);
        se.i_event_name_length = static_cast<int>(ev.name.size());
        std::copy(ev.name.begin(), ev.name.end(), se.i_event_name);
        se.i_text_length = static_cast<int>(ev.text.size());
        std::copy(ev.text.begin(), ev.text.end(), se.i_text);
        if (!AddDescriptorCopy(dvbpsi_GenShortEventDr(&se, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
                return dvbpsi_eit_event_descriptor_add(event, t, l, d);
            }))
            return false;
    }
    dvbpsi_psi_section_t* s = dvbpsi_eit_sections_generate(h, eit.get(), es.tableId);
    if (s == nullptr)
    {
        error = "dvbpsi_eit_sections_generate failed";
        return false;
    }
    if (s->p_next != nullptr)
    {
        dvbpsi_DeletePSISections(s);
        error = "libdvbpsi split an EIT section that was sized to fit";
        return false;
    }
    // The generator numbers from 0 and derives segment_last_section_number from its own split,
    // so the position inside the sub-table is set here and the section rebuilt (CRC included).
    s->i_number = es.number;
    s->i_last_number = es.last;
    s->p_data[12] = es.segmentLast;
    dvbpsi_BuildPSISection(h, s);
    es.section.pid = kEitPid;
    const bool ok = TakeSection(s, true, es.section.bytes, error);
    dvbpsi_DeletePSISections(s);
    return ok;
}

std::size_t EventSize(const Event& ev)
{
    return 12 + 2 + 5 + ev.name.size() + ev.text.size();
}

bool BuildEitLayout(const Config& cfg, std::vector<EitSection>& out, std::string& error)
{
    const long long midnight = cfg.utc - ((cfg.utc % 86400) + 86400) % 86400;
    for (const Service& svc : cfg.services)
    {
        // Present/following: always two sections, section 1 possibly without events.
        for (uint8_t n = 0; n < 2; ++n)
        {
            EitSection es;
            es.tableId = 0x4E;
            es.serviceId = svc.serviceId;
            es.version = svc.pfVersion;
            es.number = n;
            es.last = 1;
            es.segmentLast = 1;
            es.lastTableId = 0x4E;
            const std::optional<Event>& ev = n == 0 ? svc.present : svc.following;
            if (ev)
                es.events.push_back(*ev);
            out.push_back(std::move(es));
        }

        if (svc.schedule.empty())
            continue;
        // table_id -> segment -> events, from the start time relative to today's midnight.
        std::map<uint8_t, std::map<unsigned, std::vector<Event>>> tables;
        for (const Event& ev : svc.schedule)
        {
            if (ev.start < midnight)
            {
                error = "service " + std::to_string(svc.serviceId) + ": schedule event " +
                        std::to_string(ev.eventId) + " starts before midnight of time.utc";
                return false;
            }
            const long long hours = (ev.start - midnight) / 3600;
            if (hours >= 64 * 24)
            {
                error = "service " + std::to_string(svc.serviceId) + ": schedule event " +
                        std::to_string(ev.eventId) + " is more than 64 days ahead";
                return false;
            }
            const uint8_t tableId = static_cast<uint8_t>(0x50 + hours / 96);
            tables[tableId][static_cast<unsigned>((hours % 96) / 3)].push_back(ev);
        }
        const uint8_t lastTableId = tables.rbegin()->first;
        for (const auto& [tableId, segments] : tables)
        {
            std::vector<EitSection> tableSections;
            const unsigned lastSegment = segments.rbegin()->first;
            for (unsigned segment = 0; segment <= lastSegment; ++segment)
            {
                // Each segment up to the last used one is present; an empty one is a single
                // section without events.
                std::vector<std::vector<Event>> parts(1);
                std::size_t used = 18;
                auto found = segments.find(segment);
                if (found != segments.end())
                {
                    for (const Event& ev : found->second)
                    {
                        if (used + EventSize(ev) > cfg.eitSectionMaxBytes && !parts.back().empty())
                        {
                            parts.emplace_back();
                            used = 18;
                        }
                        if (used + EventSize(ev) > cfg.eitSectionMaxBytes)
                        {
                            error = "event " + std::to_string(ev.eventId) + " does not fit in one EIT section";
                            return false;
                        }
                        parts.back().push_back(ev);
                        used += EventSize(ev);
                    }
                }
                if (parts.size() > 8)
                {
                    error = "service " + std::to_string(svc.serviceId) + ": a 3-hour segment needs more than 8 sections";
                    return false;
                }
                for (std::size_t k = 0; k < parts.size(); ++k)
                {
                    EitSection es;
                    es.tableId = tableId;
                    es.serviceId = svc.serviceId;
                    es.version = svc.scheduleVersion;
                    es.number = static_cast<uint8_t>(segment * 8 + k);
                    es.segmentLast = static_cast<uint8_t>(segment * 8 + parts.size() - 1);
                    es.lastTableId = lastTableId;
                    es.events = parts[k];
                    tableSections.push_back(std::move(es));
                }
            }
            const uint8_t last = tableSections.back().number;
            for (EitSection& es : tableSections)
            {
                es.last = last;
                out.push_back(std::move(es));
            }
        }
    }
    return true;
}

} // namespace

DvbpsiHandle::DvbpsiHandle() : handle(dvbpsi_new(&SilentMessage, DVBPSI_MSG_ERROR)) {}

DvbpsiHandle::~DvbpsiHandle()
{
    if (handle != nullptr)
        dvbpsi_delete(handle);
}

bool GenerateCarousel(dvbpsi_t* h, const Config& cfg, Carousel& out, std::string& error)
{
    out = Carousel{};
    if (!GenerateNit(h, cfg.nit, out.nit, error))
        return false;
    if (cfg.sdt && !GenerateSdt(h, cfg, cfg.sdt->version, cfg.sdt->services, out.sdt, error))
        return false;
    if (!BuildEitLayout(cfg, out.eit, error))
        return false;
    for (EitSection& es : out.eit)
    {
        if (!GenerateEitSection(h, cfg, es, error))
            return false;
    }
    return true;
}

bool GenerateTimeTables(dvbpsi_t* h, const Config& cfg, long long utc, Section& tdt, Section& tot, std::string& error)
{
    const uint64_t raw = peer::ToDvbTime(utc).Raw40();
    dvbpsi_tot_t* table = dvbpsi_tot_new(0x70, 0, 0, true, raw);
    if (table == nullptr)
    {
        error = "dvbpsi_tot_new failed";
        return false;
    }
    dvbpsi_psi_section_t* s = dvbpsi_tot_sections_generate(h, table);
    dvbpsi_tot_delete(table);
    if (s == nullptr || s->p_data[0] != 0x70)
    {
        if (s != nullptr)
            dvbpsi_DeletePSISections(s);
        error = "libdvbpsi did not generate a TDT";
        return false;
    }
    bool ok = TakeSection(s, false, tdt.bytes, error);
    dvbpsi_DeletePSISections(s);
    if (!ok)
        return false;
    // reserved_future_use is 1 in DVB; libdvbpsi writes 0.
    tdt.bytes[1] |= 0x40;
    tdt.pid = kTdtPid;

    table = dvbpsi_tot_new(0x73, 0, 0, true, raw);
    if (table == nullptr)
    {
        error = "dvbpsi_tot_new failed";
        return false;
    }
    if (!cfg.localTimeOffsets.empty())
    {
        dvbpsi_local_time_offset_dr_t dr{};
        dr.i_local_time_offsets_number = static_cast<uint8_t>(cfg.localTimeOffsets.size());
        for (std::size_t i = 0; i < cfg.localTimeOffsets.size(); ++i)
        {
            const LocalTimeOffset& l = cfg.localTimeOffsets[i];
            dvbpsi_local_time_offset_t& e = dr.p_local_time_offset[i];
            std::memcpy(e.i_country_code, l.country.data(), 3);
            e.i_country_region_id = l.regionId;
            e.i_local_time_offset_polarity = l.polarity;
            e.i_local_time_offset = l.offsetBcd;
            e.i_time_of_change = peer::ToDvbTime(l.timeOfChange).Raw40();
            e.i_next_time_offset = l.nextOffsetBcd;
        }
        if (!AddDescriptorCopy(dvbpsi_GenLocalTimeOffsetDr(&dr, false), error, [&](uint8_t t, uint8_t l, uint8_t* d) {
                return dvbpsi_tot_descriptor_add(table, t, l, d);
            }))
        {
            dvbpsi_tot_delete(table);
            return false;
        }
    }
    s = dvbpsi_tot_sections_generate(h, table);
    dvbpsi_tot_delete(table);
    if (s == nullptr || s->p_data[0] != 0x73)
    {
        if (s != nullptr)
            dvbpsi_DeletePSISections(s);
        error = "libdvbpsi did not generate a TOT (it makes one only when descriptors are given)";
        return false;
    }
    ok = TakeSection(s, false, tot.bytes, error);
    dvbpsi_DeletePSISections(s);
    if (!ok)
        return false;
    // libdvbpsi 1.3.3 ends the TOT without its CRC_32 and with section_length not counting it.
    const std::size_t length = tot.bytes.size() - 3 + 4;
    tot.bytes[1] = static_cast<uint8_t>(0x70 | (length >> 8));
    tot.bytes[2] = static_cast<uint8_t>(length & 0xFF);
    const uint32_t crc = peer::Crc32Mpeg2(tot.bytes.data(), tot.bytes.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        tot.bytes.push_back(static_cast<uint8_t>(crc >> shift));
    tot.pid = kTdtPid;
    return true;
}

// The cut section is a whole, valid section (CRC_32 included); only the packetising cuts it.
bool GenerateCutSection(dvbpsi_t* h, const Config& cfg, const CutSection& cut, Section& out, std::string& error)
{
    if (cut.table == CutSection::Table::Sdt)
    {
        std::vector<Section> sections;
        if (!GenerateSdt(h, cfg, cfg.sdt ? cfg.sdt->version : 0, cut.services, sections, error))
            return false;
        if (sections.size() != 1)
        {
            error = "the cut SDT section does not fit in one section";
            return false;
        }
        out = sections.front();
        return true;
    }
    EitSection es;
    es.tableId = 0x4E;
    es.serviceId = cut.serviceId;
    for (const Service& svc : cfg.services)
    {
        if (svc.serviceId == cut.serviceId)
            es.version = svc.pfVersion;
    }
    es.number = 0;
    es.last = 1;
    es.segmentLast = 1;
    es.lastTableId = 0x4E;
    es.events.push_back(cut.event);
    if (!GenerateEitSection(h, cfg, es, error))
        return false;
    out = es.section;
    return true;
}

} // namespace siw
