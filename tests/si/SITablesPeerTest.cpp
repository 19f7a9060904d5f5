// The committed streams played through the real receiver: what our sections hold must be what
// libdvbpsi's decoders read from the same files when they were made. (ffprobe's reading of
// programs and names is compared through lumrx, tests/apps.)
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

json Theirs(const std::string& name)
{
    return ReadJson(LUM_PEER_STREAM("") + name + ".dvbpsi.json");
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
    for (const auto& [key, eit] : theirs["eits"].items()) {
        ASSERT_TRUE(ours["eits"].contains(key)) << key;
        ExpectAgrees(eit, ours["eits"][key], "eit " + key, {"version", "events"});
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
