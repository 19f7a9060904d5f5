// The committed streams played through the real receiver as fast as it reads: what our sections
// hold must be what libdvbpsi's decoders read from the same files when they were made. (ffprobe's
// reading of programs and names is compared through lumrx, tests/apps.)
#include "receiver/CDVBTransportStreamReceiver.h"
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
#include "tests/support/PeerJson.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>

using nlohmann::json;

namespace {

std::string Hex(const CString& text)   // byte for byte
{
    std::string hex;
    for (unsigned char c : text.Str())
        hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
    return hex;
}

// A list of entries as a JSON array of what `item` makes of each.
template <typename List, typename Item>
json Each(const List& list, Item item)
{
    json out = json::array();
    for (const auto* entry : list)
        out.push_back(item(entry));
    return out;
}

// An entry's descriptors as tag and length, and the fields of those libdvbpsi's reading decodes
// in the entry itself (tools/peer_streams/DvbpsiRead.cpp).
json Described(json entry, const CDVBDescriptorList& list)
{
    entry["descriptors"] = Each(list, [&entry](const CDVBDescriptor* d) {
        if (auto* l = d->m_tag == 0x0A ? static_cast<const CDVBISO639LanguageDescriptor*>(d) : nullptr)
            entry.update({{"language", l->m_languageCode}, {"audio_type", l->m_audioType}});
        if (auto* n = d->m_tag == 0x40 ? static_cast<const CDVBNetworkNameDescriptor*>(d) : nullptr)
            entry["network_name_hex"] = Hex(n->m_networkName);
        if (auto* s = d->m_tag == 0x48 ? static_cast<const CDVBServiceDescriptor*>(d) : nullptr)
            entry.update({{"service_type", s->m_serviceType}, {"provider_hex", Hex(s->m_providerName)},
                          {"name_hex", Hex(s->m_serviceName)}});
        if (auto* e = d->m_tag == 0x4D ? static_cast<const CDVBShortEventDescriptor*>(d) : nullptr)
            entry.update({{"language", e->m_languageCode.Str()}, {"name_hex", Hex(e->m_eventName)},
                          {"text_hex", Hex(e->m_text)}});
        if (auto* t = d->m_tag == 0x5A ? static_cast<const CDVBTerrestrialDeliverySystemDescriptor*>(d) : nullptr)
            entry["terrestrial"] = {{"frequency", t->m_centreFrequency}, {"bandwidth", t->m_bandwidth},
                {"priority", (t->m_reserved1 >> 4) & 1}, {"time_slicing", (t->m_reserved1 >> 3) & 1},
                {"mpe_fec", (t->m_reserved1 >> 2) & 1}, {"constellation", t->m_constellation},
                {"hierarchy", t->m_hierarchyInformation}, {"code_rate_hp", t->m_codeRateHP},
                {"code_rate_lp", t->m_codeRateLP}, {"guard_interval", t->m_guardInterval},
                {"transmission_mode", t->m_transmissionMode}, {"other_frequency", t->m_otherFrequencyFlag != 0}};
        return json{{"tag", d->m_tag}, {"length", d->m_length}};
    });
    return entry;
}

// Section fields, in the names and shapes of libdvbpsi's reading.
json Read(WORD pid, CDVBSISection* section)
{
    json out;
    if (auto* pat = dynamic_cast<CDVBPATSection*>(section)) {
        out = {{"transport_stream_id", pat->m_tableIdExtension}, {"programs", Each(pat->m_entries, [](const CDVBPATEntry* e) {
                    return json{{"number", e->m_programNumber}, {"pid", e->m_pid}};
                })}};
    } else if (auto* pmt = dynamic_cast<CDVBPMTSection*>(section)) {
        out = Described({{"program_number", pmt->m_tableIdExtension}, {"pid", pid}, {"pcr_pid", pmt->m_pcrPid},
                         {"streams", Each(pmt->m_entries, [](const CDVBPMTEntry* e) {
                              return Described({{"type", e->m_streamType}, {"pid", e->m_elementaryPid}}, e->m_descriptors);
                          })}},
                        pmt->m_descriptors);
    } else if (auto* sdt = dynamic_cast<CDVBSDTSection*>(section)) {
        out = {{"transport_stream_id", sdt->m_tableIdExtension}, {"original_network_id", sdt->m_originalNetworkId},
               {"services", Each(sdt->m_entries, [](const CDVBSDTEntry* e) {
                    return Described({{"service_id", e->m_serviceId}, {"eit_schedule", e->m_eitScheduleFlag != 0},
                                      {"eit_pf", e->m_eitPresentFollowingFlag != 0}, {"running_status", e->m_runningStatus},
                                      {"free_ca", e->m_freeCaMode != 0}},
                                     e->m_descriptors);
                })}};
    } else if (auto* nit = dynamic_cast<CDVBNITSection*>(section)) {
        out = Described({{"network_id", nit->m_tableIdExtension}, {"transport_streams", Each(nit->m_entries, [](const CDVBNITEntry* e) {
                             return Described({{"tsid", e->m_transportStreamId}, {"onid", e->m_originalNetworkId}},
                                              e->m_descriptors);
                         })}},
                        nit->m_descriptors);
    } else if (auto* eit = dynamic_cast<CDVBEITSection*>(section)) {
        out = {{"table_id", eit->m_tableId}, {"service_id", eit->m_tableIdExtension},
               {"section_number", eit->m_sectionNumber}, {"last_section_number", eit->m_lastSectionNumber},
               {"segment_last_section_number", eit->m_segmentLastSectionNumber}, {"last_table_id", eit->m_lastTableId},
               {"tsid", eit->m_transportStreamId}, {"onid", eit->m_originalNetworkId},
               {"events", Each(eit->m_entries, [](const CDVBEITEntry* e) {
                    return Described({{"event_id", e->m_eventId}, {"mjd", e->m_startDate}, {"start_bcd", e->m_startTime},
                                      {"duration_bcd", e->m_duration}, {"running_status", e->m_runningStatus},
                                      {"free_ca", e->m_freeCaMode != 0}},
                                     e->m_descriptors);
                })}};
    } else if (auto* tdt = dynamic_cast<CDVBTDTSection*>(section)) {
        return {{"mjd", tdt->m_utcDate}, {"time_bcd", tdt->m_utcTime}};
    } else if (auto* tot = dynamic_cast<CDVBTOTSection*>(section)) {
        return Described({{"mjd", tot->m_utcDate}, {"time_bcd", tot->m_utcTime}}, tot->m_descriptors);
    }
    out["version"] = section->m_versionNumber;
    return out;
}

// Notes as JSON what every section it is given holds (the last one of each kind wins, as in
// libdvbpsi's reading), then handles it as usual. Read once its thread has stopped.
class CCapturingReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    json m_captured = {{"pmts", json::object()}};

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
        if (section->m_type == CDVBSISection::TypeNIT || section->m_type == CDVBSISection::TypeEIT)
            m_captured["versions"][table].push_back(section->m_versionNumber);
        CDVBTransportStreamReceiver::OnSectionUpdate(pid, section);
    }
};

// Each stream is played once, for every test; null when it cannot be read or does not end
// within a minute.
const json& Ours(const std::string& name)
{
    static std::map<std::string, json> cache;
    if (cache.count(name))
        return cache[name];
    CFileSource source;
    CCapturingReceiver receiver(&source, nullptr);
    if (!source.Load(LUM_PEER_STREAM("") + name + ".ts"))
        return cache[name];
    receiver.Initialise();
    receiver.Start();
    const bool drained = source.WaitUntilDrained(60000);
    receiver.Stop();
    const bool stopped = receiver.WaitForStop(10000);
    receiver.DeInitialise();
    return cache[name] = drained && stopped ? receiver.m_captured : json();
}

class CDVBSISectionPeer : public ::testing::TestWithParam<const char*> {};

}  // namespace

// Programs with PMTs and a schedule; SI alone with a PAT but no PMT; SI alone with sections cut
// short, which neither of us may read.
TEST_P(CDVBSISectionPeer, EveryTableAgreesWithLibdvbpsi)
{
    json theirs = ReadJson(LUM_PEER_STREAM("") + std::string(GetParam()) + ".dvbpsi.json");
    ASSERT_FALSE(theirs.is_discarded());
    json ours = Ours(GetParam());
    ASSERT_FALSE(ours.is_null()) << "the stream did not play";
    // all that the peer read but its counters and the tables it never saw, and nothing more
    // but the versions we note: no difference at all
    theirs.erase("counters");
    for (auto table = theirs.begin(); table != theirs.end();)
        table = table->is_null() ? theirs.erase(table) : std::next(table);
    ours.erase("versions");
    EXPECT_EQ(json::diff(theirs, ours), json::array()) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Streams, CDVBSISectionPeer, ::testing::Values("three_programs", "latin_tables", "cut_section"));

TEST(CDVBSISectionPeer, ChangedVersionsAreReportedOnce)
{
    const json& ours = Ours("cut_section");
    EXPECT_EQ(ours["versions"]["64/12289"], json::array({3, 4}));
    EXPECT_EQ(ours["versions"]["78/101"], json::array({0, 0, 1, 1}));   // sections 0 and 1, once each
    EXPECT_EQ(ours["versions"]["78/102"], json::array({0, 0}));
}
