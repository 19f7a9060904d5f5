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

template <typename D>
const D* Find(const CDVBDescriptorList& list, BYTE tag) { return static_cast<const D*>(list.FindDescriptor(tag)); }

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
        out.update({{"program_number", pmt->m_tableIdExtension}, {"pid", pid}, {"pcr_pid", pmt->m_pcrPid},
                    {"descriptors", Descriptors(pmt->m_descriptors)}, {"streams", json::array()}});
        for (const CDVBPMTEntry* e : pmt->m_entries) {
            json stream = {{"type", e->m_streamType}, {"pid", e->m_elementaryPid}, {"descriptors", Descriptors(e->m_descriptors)}};
            if (auto* d = Find<CDVBISO639LanguageDescriptor>(e->m_descriptors, 0x0A))
                stream.update({{"language", d->m_languageCode}, {"audio_type", d->m_audioType}});
            out["streams"].push_back(stream);
        }
    } else if (auto* sdt = dynamic_cast<CDVBSDTSection*>(section)) {
        out.update({{"transport_stream_id", sdt->m_tableIdExtension}, {"original_network_id", sdt->m_originalNetworkId},
                    {"services", json::array()}});
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
        out.update({{"network_id", nit->m_tableIdExtension}, {"descriptors", Descriptors(nit->m_descriptors)},
                    {"transport_streams", json::array()}});
        if (auto* name = Find<CDVBNetworkNameDescriptor>(nit->m_descriptors, 0x40))
            out["network_name_hex"] = Hex(name->m_networkName);
        for (const CDVBNITEntry* e : nit->m_entries) {
            json ts = {{"tsid", e->m_transportStreamId}, {"onid", e->m_originalNetworkId},
                       {"descriptors", Descriptors(e->m_descriptors)}};
            if (auto* t = Find<CDVBTerrestrialDeliverySystemDescriptor>(e->m_descriptors, 0x5A))
                ts["terrestrial"] = {{"frequency", t->m_centreFrequency}, {"bandwidth", t->m_bandwidth},
                    {"priority", (t->m_reserved1 >> 4) & 1}, {"time_slicing", (t->m_reserved1 >> 3) & 1},
                    {"mpe_fec", (t->m_reserved1 >> 2) & 1}, {"constellation", t->m_constellation},
                    {"hierarchy", t->m_hierarchyInformation}, {"code_rate_hp", t->m_codeRateHP},
                    {"code_rate_lp", t->m_codeRateLP}, {"guard_interval", t->m_guardInterval},
                    {"transmission_mode", t->m_transmissionMode}, {"other_frequency", t->m_otherFrequencyFlag != 0}};
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

// Everything the peer read, but its counters, must be in ours and agree, and ours may hold
// nothing more (but the versions it notes).
void ExpectAgrees(const json& theirs, const json& ours, const std::string& where)
{
    if (theirs.is_object() && ours.is_object()) {
        for (const auto& [key, value] : theirs.items()) {
            if (key != "counters" && !value.is_null())
                ExpectAgrees(value, ours.contains(key) ? ours.at(key) : json(), where + "." + key);
        }
        for (const auto& [key, value] : ours.items())
            EXPECT_TRUE(theirs.contains(key) || key == "versions") << where << ": only ours has " << key;
    } else if (theirs.is_array() && ours.is_array()) {
        ASSERT_EQ(theirs.size(), ours.size()) << where;
        for (std::size_t i = 0; i < theirs.size(); ++i)
            ExpectAgrees(theirs[i], ours[i], where + "[" + std::to_string(i) + "]");
    } else {
        EXPECT_EQ(theirs, ours) << where;
    }
}

class CDVBSISectionPeer : public ::testing::TestWithParam<const char*> {};

}  // namespace

// Programs with PMTs and a schedule; SI alone with a PAT but no PMT; SI alone with sections cut
// short, which neither of us may read.
TEST_P(CDVBSISectionPeer, EveryTableAgreesWithLibdvbpsi)
{
    const json theirs = ReadJson(LUM_PEER_STREAM("") + std::string(GetParam()) + ".dvbpsi.json");
    ASSERT_FALSE(theirs.is_discarded());
    ASSERT_FALSE(Ours(GetParam()).is_null()) << "the stream did not play";
    ExpectAgrees(theirs, Ours(GetParam()), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Streams, CDVBSISectionPeer, ::testing::Values("three_programs", "latin_tables", "cut_section"));

TEST(CDVBSISectionPeer, ChangedVersionsAreReportedOnce)
{
    const json& ours = Ours("cut_section");
    EXPECT_EQ(ours["versions"]["64/12289"], json::array({3, 4}));
    EXPECT_EQ(ours["versions"]["78/101"], json::array({0, 0, 1, 1}));   // sections 0 and 1, once each
    EXPECT_EQ(ours["versions"]["78/102"], json::array({0, 0}));
}
