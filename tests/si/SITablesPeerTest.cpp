// The committed streams played through the real receiver: what our sections hold must be what
// libdvbpsi's decoders and ffprobe read from the same files when they were made.
#include "si/CDVBText.h"
#include "tests/support/CCapturingReceiver.h"
#include "tests/support/PeerJson.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>

using nlohmann::json;

namespace {

// Each stream is played once and read by every test.
const json& Ours(const std::string& name)
{
    static std::map<std::string, json> cache;
    auto found = cache.find(name);
    if (found == cache.end())
        found = cache.emplace(name, CaptureStream(LUM_PEER_STREAM("") + name + ".ts")).first;
    return found->second;
}

json Theirs(const std::string& name, const std::string& peer = "dvbpsi")
{
    return ReadJson(LUM_PEER_STREAM("") + name + "." + peer + ".json");
}

// Every key of `expected` that `ours` has too must agree; keys only the peer reads are
// skipped, and a key we should have is listed.
void ExpectAgrees(const json& expected, const json& ours, const std::string& where,
                  const std::vector<std::string>& required = {})
{
    for (const std::string& key : required)
        EXPECT_TRUE(ours.contains(key)) << where << ": no " << key;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (!ours.contains(it.key()))
            continue;
        const json& mine = ours.at(it.key());
        if (it->is_array() && mine.is_array()) {
            ASSERT_EQ(it->size(), mine.size()) << where << "." << it.key();
            for (std::size_t i = 0; i < it->size(); ++i) {
                if ((*it)[i].is_object())
                    ExpectAgrees((*it)[i], mine[i], where + "." + it.key() + "[" + std::to_string(i) + "]");
                else
                    EXPECT_EQ((*it)[i], mine[i]) << where << "." << it.key() << "[" << i << "]";
            }
        } else if (it->is_object()) {
            ExpectAgrees(*it, mine, where + "." + it.key());
        } else {
            EXPECT_EQ(*it, mine) << where << "." << it.key();
        }
    }
}

std::string EitKey(const json& eit)
{
    return std::to_string(eit["table_id"].get<int>()) + "/" + std::to_string(eit["service_id"].get<int>()) + "/" +
           std::to_string(eit["section_number"].get<int>());
}

class SITablesPeerTest : public ::testing::TestWithParam<const char*> {};

}  // namespace

// Programs with PMTs and a schedule; SI alone with a PAT but no PMT; SI alone with cut sections.
TEST_P(SITablesPeerTest, EveryTableAgreesWithLibdvbpsi)
{
    const json& ours = Ours(GetParam());
    const json theirs = Theirs(GetParam());
    ASSERT_FALSE(ours.is_null()) << "the stream did not play";
    ASSERT_FALSE(theirs.is_discarded());
    if (!theirs["pat"].is_null())
        ExpectAgrees(theirs["pat"], ours["pat"], "pat", {"transport_stream_id", "version", "programs"});
    ASSERT_EQ(ours.value("pmts", json::object()).size(), theirs["pmts"].size());
    for (const json& pmt : theirs["pmts"])
        ExpectAgrees(pmt, ours["pmts"][std::to_string(pmt["program_number"].get<int>())], "pmt",
                     {"pid", "pcr_pid", "streams"});
    ExpectAgrees(theirs["sdt"], ours["sdt"], "sdt", {"original_network_id", "services"});
    ExpectAgrees(theirs["nit"], ours["nit"], "nit", {"network_id", "network_name_hex", "transport_streams"});
    // present/following and every schedule section, each on its own
    ASSERT_EQ(ours["eits"].size(), theirs["eits"].size());
    for (const json& eit : theirs["eits"]) {
        ASSERT_TRUE(ours["eits"].contains(EitKey(eit))) << EitKey(eit);
        ExpectAgrees(eit, ours["eits"][EitKey(eit)], "eit " + EitKey(eit), {"version", "events"});
    }
    ExpectAgrees(theirs["tdt"], ours["tdt"], "tdt", {"mjd", "time_bcd"});
    ExpectAgrees(theirs["tot"], ours["tot"], "tot", {"mjd", "time_bcd", "descriptors"});
}

INSTANTIATE_TEST_SUITE_P(Streams, SITablesPeerTest, ::testing::Values("three_programs", "latin_tables", "cut_section"));

TEST(SITablesPeerTest, EveryTimeTableIsReportedAndTheScheduleSpansTwoTables)
{
    const json& ours = Ours("three_programs");
    const json theirs = Theirs("three_programs");
    EXPECT_EQ(ours["reports"]["6"], theirs["counters"]["sections"]["tdt"]);
    EXPECT_EQ(ours["reports"]["7"], theirs["counters"]["sections"]["tot"]);
    EXPECT_TRUE(ours["eits"].contains("81/101/48"));   // five days ahead: table 0x51
    EXPECT_EQ(ours["nit"]["transport_streams"][0]["terrestrial"]["frequency"], 50600000);
}

TEST(SITablesPeerTest, ProgramsAgreeWithFfprobe)
{
    const json& ours = Ours("three_programs");
    const json probe = Theirs("three_programs", "ffprobe");
    ASSERT_EQ(probe["programs"].size(), ours["pmts"].size());
    for (const json& program : probe["programs"]) {
        const json& pmt = ours["pmts"][std::to_string(program["program_id"].get<int>())];
        EXPECT_EQ(pmt["pid"], program["pmt_pid"]);
        EXPECT_EQ(pmt["pcr_pid"], program["pcr_pid"]);
        ASSERT_EQ(pmt["streams"].size(), program["streams"].size());
        for (std::size_t i = 0; i < program["streams"].size(); ++i) {
            const json& stream = program["streams"][i];
            EXPECT_EQ(pmt["streams"][i]["pid"], std::stoi(stream["id"].get<std::string>(), nullptr, 16));
            EXPECT_EQ(pmt["streams"][i]["type"], stream["codec_name"] == "mpeg2video" ? 0x02 : 0x03);
            if (stream.contains("tags") && stream["tags"].contains("language")) {
                EXPECT_EQ(pmt["streams"][i]["language"], stream["tags"]["language"]);
            }
        }
    }
}

// ffprobe converts names with iconv: UTF-8 from FFmpeg's own SDT; ISO 8859-9, 8859-15 and the
// default table in the SI-only stream.
TEST(SITablesPeerTest, ServiceNamesReadAsFfprobeReadsThem)
{
    auto text = [](const json& hex) {
        const std::string bytes = Unhex(hex);
        return CDVBText::ToUTF8(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    };
    for (const char* name : {"three_programs", "latin_tables"}) {
        const json probe = Theirs(name, "ffprobe");
        ASSERT_EQ(probe["programs"].size(), Ours(name)["sdt"]["services"].size()) << name;
        for (const json& program : probe["programs"]) {
            for (const json& s : Ours(name)["sdt"]["services"]) {
                if (s["service_id"] != program["program_id"])
                    continue;
                EXPECT_EQ(text(s["name_hex"]), program["tags"]["service_name"]) << name;
                EXPECT_EQ(text(s["provider_hex"]), program["tags"]["service_provider"]) << name;
            }
        }
    }
}

TEST(SITablesPeerTest, ChangedVersionsAreReportedOnceAndSectionsCutShortNever)
{
    const json& ours = Ours("cut_section");
    EXPECT_EQ(ours["versions"]["64/12289"], json::array({3, 4}));
    EXPECT_EQ(ours["versions"]["78/101"], json::array({0, 0, 1, 1}));   // sections 0 and 1, once each
    EXPECT_EQ(ours["versions"]["78/102"], json::array({0, 0}));
    for (const json& service : ours["sdt"]["services"])
        EXPECT_NE(service["service_id"], 999);
    EXPECT_EQ(ours.dump().find("435554"), std::string::npos) << "the bytes of \"CUT\" were kept";
}
