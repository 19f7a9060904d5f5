#include "tests/support/CCapturingReceiver.h"

#include "core/CDVBTransportStreamReceiver.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBShortEventDescriptor.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"
#include "si/CDVBTOTSection.h"
#include "tests/support/CFileSource.h"

#include <mutex>

using nlohmann::json;

namespace {

std::string Hex(const CString& text)
{
    std::string hex;
    for (unsigned char c : text.Str())
        hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return hex;
}

json Descriptors(const CDVBDescriptorList& list)
{
    json out = json::array();
    for (const CDVBDescriptor* d : list)
        out.push_back({{"tag", d->m_tag}, {"length", d->m_length}});
    return out;
}

json Pat(const CDVBPATSection& s)
{
    json programs = json::array();
    for (const CDVBPATEntry* e : s.m_entries)
        programs.push_back({{"number", e->m_programNumber}, {"pid", e->m_pid}});
    return {{"transport_stream_id", s.m_tableIdExtension}, {"version", s.m_versionNumber}, {"programs", programs}};
}

json Pmt(WORD pid, const CDVBPMTSection& s)
{
    json streams = json::array();
    for (const CDVBPMTEntry* e : s.m_entries) {
        json stream = {{"type", e->m_streamType}, {"pid", e->m_elementaryPid}, {"descriptors", Descriptors(e->m_descriptors)}};
        if (auto* l = static_cast<CDVBISO639LanguageDescriptor*>(e->m_descriptors.FindDescriptor(0x0A))) {
            stream["language"] = std::string(l->m_languageCode);
            stream["audio_type"] = l->m_audioType;
        }
        streams.push_back(stream);
    }
    return {{"program_number", s.m_tableIdExtension}, {"pid", pid}, {"version", s.m_versionNumber},
            {"pcr_pid", s.m_pcrPid}, {"descriptors", Descriptors(s.m_descriptors)}, {"streams", streams}};
}

json Sdt(const CDVBSDTSection& s)
{
    json services = json::array();
    for (const CDVBSDTEntry* e : s.m_entries) {
        json service = {{"service_id", e->m_serviceId}, {"eit_schedule", e->m_eitScheduleFlag != 0},
                        {"eit_pf", e->m_eitPresentFollowingFlag != 0}, {"running_status", e->m_runningStatus},
                        {"free_ca", e->m_freeCaMode != 0}, {"descriptors", Descriptors(e->m_descriptors)}};
        if (auto* d = static_cast<CDVBServiceDescriptor*>(e->m_descriptors.FindDescriptor(0x48))) {
            service["service_type"] = d->m_serviceType;
            service["provider_hex"] = Hex(d->m_providerName);
            service["name_hex"] = Hex(d->m_serviceName);
        }
        services.push_back(service);
    }
    return {{"transport_stream_id", s.m_tableIdExtension}, {"original_network_id", s.m_originalNetworkId},
            {"version", s.m_versionNumber}, {"services", services}};
}

json Nit(const CDVBNITSection& s)
{
    json streams = json::array();
    for (const CDVBNITEntry* e : s.m_entries) {
        json stream = {{"tsid", e->m_transportStreamId}, {"onid", e->m_originalNetworkId},
                       {"descriptors", Descriptors(e->m_descriptors)}};
        if (auto* t = static_cast<CDVBTerrestrialDeliverySystemDescriptor*>(e->m_descriptors.FindDescriptor(0x5A))) {
            stream["terrestrial"] = {{"frequency", t->m_centreFrequency}, {"bandwidth", t->m_bandwidth},
                                     {"priority", (t->m_reserved1 >> 4) & 1}, {"time_slicing", (t->m_reserved1 >> 3) & 1},
                                     {"mpe_fec", (t->m_reserved1 >> 2) & 1}, {"constellation", t->m_constellation},
                                     {"hierarchy", t->m_hierarchyInformation}, {"code_rate_hp", t->m_codeRateHP},
                                     {"code_rate_lp", t->m_codeRateLP}, {"guard_interval", t->m_guardInterval},
                                     {"transmission_mode", t->m_transmissionMode},
                                     {"other_frequency", t->m_otherFrequencyFlag != 0}};
        }
        streams.push_back(stream);
    }
    json nit = {{"network_id", s.m_tableIdExtension}, {"version", s.m_versionNumber},
                {"descriptors", Descriptors(s.m_descriptors)}, {"transport_streams", streams}};
    if (auto* name = static_cast<CDVBNetworkNameDescriptor*>(s.m_descriptors.FindDescriptor(0x40)))
        nit["network_name_hex"] = Hex(name->m_networkName);
    return nit;
}

json Eit(const CDVBEITSection& s)
{
    json events = json::array();
    for (const CDVBEITEntry* e : s.m_entries) {
        json event = {{"event_id", e->m_eventId}, {"mjd", e->m_startDate}, {"start_bcd", e->m_startTime},
                      {"duration_bcd", e->m_duration}, {"running_status", e->m_runningStatus},
                      {"free_ca", e->m_freeCaMode != 0}, {"descriptors", Descriptors(e->m_descriptors)}};
        if (auto* d = static_cast<CDVBShortEventDescriptor*>(e->m_descriptors.FindDescriptor(0x4D))) {
            event["language"] = d->m_languageCode.Str();
            event["name_hex"] = Hex(d->m_eventName);
            event["text_hex"] = Hex(d->m_text);
        }
        events.push_back(event);
    }
    return {{"table_id", s.m_tableId}, {"service_id", s.m_tableIdExtension}, {"section_number", s.m_sectionNumber},
            {"last_section_number", s.m_lastSectionNumber}, {"segment_last_section_number", s.m_segmentLastSectionNumber},
            {"last_table_id", s.m_lastTableId}, {"version", s.m_versionNumber}, {"tsid", s.m_transportStreamId},
            {"onid", s.m_originalNetworkId}, {"events", events}};
}

// Notes each section, then handles it as usual.
class CCapturingReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    json Captured() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_captured;
    }

protected:
    void OnSectionUpdate(WORD pid, CDVBSISection* section) override;

private:
    mutable std::mutex m_lock;
    json m_captured = json::object();
};

void CCapturingReceiver::OnSectionUpdate(WORD pid, CDVBSISection* section)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        json& c = m_captured;
        switch (section->m_type) {
        case CDVBSISection::TypePAT:
            c["pat"] = Pat(*static_cast<CDVBPATSection*>(section));
            break;
        case CDVBSISection::TypePMT:
            c["pmts"][std::to_string(section->m_tableIdExtension)] = Pmt(pid, *static_cast<CDVBPMTSection*>(section));
            break;
        case CDVBSISection::TypeSDT:
            if (section->m_tableId == 0x42)
                c["sdt"] = Sdt(*static_cast<CDVBSDTSection*>(section));
            break;
        case CDVBSISection::TypeNIT:
            if (section->m_tableId == 0x40)
                c["nit"] = Nit(*static_cast<CDVBNITSection*>(section));
            break;
        case CDVBSISection::TypeEIT: {
            const std::string key = std::to_string(section->m_tableId) + "/" +
                                    std::to_string(section->m_tableIdExtension) + "/" +
                                    std::to_string(section->m_sectionNumber);
            c["eits"][key] = Eit(*static_cast<CDVBEITSection*>(section));
            break;
        }
        case CDVBSISection::TypeTDT: {
            auto* tdt = static_cast<CDVBTDTSection*>(section);
            c["tdt"] = {{"mjd", tdt->m_utcDate}, {"time_bcd", tdt->m_utcTime}};
            break;
        }
        case CDVBSISection::TypeTOT: {
            auto* tot = static_cast<CDVBTOTSection*>(section);
            c["tot"] = {{"mjd", tot->m_utcDate}, {"time_bcd", tot->m_utcTime},
                        {"descriptors", Descriptors(tot->m_descriptors)}};
            break;
        }
        default:
            break;
        }
        json& reports = c["reports"][std::to_string(section->m_type)];
        reports = reports.is_null() ? 1 : reports.get<int>() + 1;
        if (section->m_type == CDVBSISection::TypeNIT || section->m_type == CDVBSISection::TypeEIT)
            c["versions"][std::to_string(section->m_tableId) + "/" + std::to_string(section->m_tableIdExtension)]
                .push_back(section->m_versionNumber);
    }
    CDVBTransportStreamReceiver::OnSectionUpdate(pid, section);
}

}  // namespace

json CaptureStream(const std::string& path)
{
    CFileSource source;
    if (!source.Load(path))
        return json();
    CCapturingReceiver receiver(&source, nullptr);
    receiver.Initialise();
    receiver.Start();
    const bool drained = source.WaitUntilDrained(60000);
    receiver.Stop();
    receiver.WaitForStop(10000);
    receiver.DeInitialise();
    return drained ? receiver.Captured() : json();
}
