#include "tests/support/CCapturingReceiver.h"

#include "core/CDVBTransportStreamReceiver.h"
#include "si/CDVBEITSection.h"
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

using nlohmann::json;

namespace {

std::string Hex(const CString& text)
{
    std::string hex;
    for (unsigned char c : text.Str())
        hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return hex;
}

template <typename D>
const D* Find(const CDVBDescriptorList& list, BYTE tag)
{
    return static_cast<const D*>(list.FindDescriptor(tag));
}

json Descriptors(const CDVBDescriptorList& list)
{
    json out = json::array();
    for (const CDVBDescriptor* d : list)
        out.push_back({{"tag", d->m_tag}, {"length", d->m_length}});
    return out;
}

// Section fields, in the names and shapes of libdvbpsi's reading (tests/streams).
json Read(WORD pid, CDVBSISection* section)
{
    json out = {{"version", section->m_versionNumber}};
    if (auto* pat = dynamic_cast<CDVBPATSection*>(section)) {
        out.update({{"transport_stream_id", pat->m_tableIdExtension}, {"programs", json::array()}});
        for (const CDVBPATEntry* e : pat->m_entries)
            out["programs"].push_back({{"number", e->m_programNumber}, {"pid", e->m_pid}});
    } else if (auto* pmt = dynamic_cast<CDVBPMTSection*>(section)) {
        out.update({{"program_number", pmt->m_tableIdExtension}, {"pid", pid}, {"pcr_pid", pmt->m_pcrPid}});
        out["streams"] = json::array();
        for (const CDVBPMTEntry* e : pmt->m_entries)
            out["streams"].push_back({{"type", e->m_streamType}, {"pid", e->m_elementaryPid}});
    } else if (auto* sdt = dynamic_cast<CDVBSDTSection*>(section)) {
        out.update({{"transport_stream_id", sdt->m_tableIdExtension}, {"original_network_id", sdt->m_originalNetworkId}});
        out["services"] = json::array();
        for (const CDVBSDTEntry* e : sdt->m_entries) {
            json s = {{"service_id", e->m_serviceId}, {"eit_schedule", e->m_eitScheduleFlag != 0},
                      {"eit_pf", e->m_eitPresentFollowingFlag != 0}, {"running_status", e->m_runningStatus},
                      {"free_ca", e->m_freeCaMode != 0}, {"descriptors", Descriptors(e->m_descriptors)}};
            if (auto* d = Find<CDVBServiceDescriptor>(e->m_descriptors, 0x48))
                s.update({{"service_type", d->m_serviceType}, {"provider_hex", Hex(d->m_providerName)},
                          {"name_hex", Hex(d->m_serviceName)}});
            out["services"].push_back(s);
        }
    } else if (auto* nit = dynamic_cast<CDVBNITSection*>(section)) {
        out.update({{"network_id", nit->m_tableIdExtension}, {"descriptors", Descriptors(nit->m_descriptors)}});
        if (auto* name = Find<CDVBNetworkNameDescriptor>(nit->m_descriptors, 0x40))
            out["network_name_hex"] = Hex(name->m_networkName);
        out["transport_streams"] = json::array();
        for (const CDVBNITEntry* e : nit->m_entries) {
            json ts = {{"tsid", e->m_transportStreamId}, {"onid", e->m_originalNetworkId},
                       {"descriptors", Descriptors(e->m_descriptors)}};
            if (auto* t = Find<CDVBTerrestrialDeliverySystemDescriptor>(e->m_descriptors, 0x5A))
                ts["terrestrial"] = {{"frequency", t->m_centreFrequency}, {"bandwidth", t->m_bandwidth},
                                     {"priority", (t->m_reserved1 >> 4) & 1}, {"time_slicing", (t->m_reserved1 >> 3) & 1},
                                     {"mpe_fec", (t->m_reserved1 >> 2) & 1}, {"constellation", t->m_constellation},
                                     {"hierarchy", t->m_hierarchyInformation}, {"code_rate_hp", t->m_codeRateHP},
                                     {"code_rate_lp", t->m_codeRateLP}, {"guard_interval", t->m_guardInterval},
                                     {"transmission_mode", t->m_transmissionMode},
                                     {"other_frequency", t->m_otherFrequencyFlag != 0}};
            out["transport_streams"].push_back(ts);
        }
    } else if (auto* eit = dynamic_cast<CDVBEITSection*>(section)) {
        out.update({{"table_id", eit->m_tableId}, {"service_id", eit->m_tableIdExtension},
                    {"section_number", eit->m_sectionNumber}, {"last_section_number", eit->m_lastSectionNumber},
                    {"segment_last_section_number", eit->m_segmentLastSectionNumber},
                    {"last_table_id", eit->m_lastTableId}, {"tsid", eit->m_transportStreamId},
                    {"onid", eit->m_originalNetworkId}, {"events", json::array()}});
        for (const CDVBEITEntry* e : eit->m_entries) {
            json event = {{"event_id", e->m_eventId}, {"mjd", e->m_startDate}, {"start_bcd", e->m_startTime},
                          {"duration_bcd", e->m_duration}, {"running_status", e->m_runningStatus},
                          {"free_ca", e->m_freeCaMode != 0}, {"descriptors", Descriptors(e->m_descriptors)}};
            if (auto* d = Find<CDVBShortEventDescriptor>(e->m_descriptors, 0x4D))
                event.update({{"language", d->m_languageCode.Str()}, {"name_hex", Hex(d->m_eventName)},
                              {"text_hex", Hex(d->m_text)}});
            out["events"].push_back(event);
        }
    } else if (auto* tdt = dynamic_cast<CDVBTDTSection*>(section)) {
        out = {{"mjd", tdt->m_utcDate}, {"time_bcd", tdt->m_utcTime}};
    } else if (auto* tot = dynamic_cast<CDVBTOTSection*>(section)) {
        out = {{"mjd", tot->m_utcDate}, {"time_bcd", tot->m_utcTime}, {"descriptors", Descriptors(tot->m_descriptors)}};
    }
    return out;
}

// Notes each section, then handles it as usual. Read once its thread has stopped.
class CCapturingReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    json m_captured = json::object();

protected:
    void OnSectionUpdate(WORD pid, CDVBSISection* section) override
    {
        static const char* const kKeys[] = {nullptr, "pat", "pmts", "sdt", "eits", "nit", "tdt", "tot"};
        const std::string table = std::to_string(section->m_tableId) + "/" + std::to_string(section->m_tableIdExtension);
        if (section->m_type == CDVBSISection::TypePMT)
            m_captured["pmts"][std::to_string(section->m_tableIdExtension)] = Read(pid, section);
        else if (section->m_type == CDVBSISection::TypeEIT)
            m_captured["eits"][table + "/" + std::to_string(section->m_sectionNumber)] = Read(pid, section);
        else if (section->m_type < 8 && kKeys[section->m_type] && section->m_tableId != 0x41 && section->m_tableId != 0x46)
            m_captured[kKeys[section->m_type]] = Read(pid, section);   // of this stream's own network only
        json& reports = m_captured["reports"][std::to_string(section->m_type)];
        reports = reports.is_null() ? 1 : reports.get<int>() + 1;
        if (section->m_type == CDVBSISection::TypeNIT || section->m_type == CDVBSISection::TypeEIT)
            m_captured["versions"][table].push_back(section->m_versionNumber);
        CDVBTransportStreamReceiver::OnSectionUpdate(pid, section);
    }
};

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
    const bool stopped = receiver.WaitForStop(10000);
    receiver.DeInitialise();
    return drained && stopped ? receiver.m_captured : json();
}
