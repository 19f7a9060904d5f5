// Streams FFmpeg and libdvbpsi wrote, played through the real receiver: what our sections
// hold must be what libdvbpsi's decoders and ffprobe read from the same files.
#include "tests/support/CCapturingReceiver.h"

#include "tests/support/PeerJson.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>

using nlohmann::json;

namespace {

// Each stream is played once and read by every test.
const json& Captured(const std::string& name)
{
    static std::map<std::string, json> cache;
    auto found = cache.find(name);
    if (found == cache.end())
        found = cache.emplace(name, CaptureStream(LUM_PEER_STREAMS_DIR "/" + name + ".ts")).first;
    return found->second;
}

const json& Peer(const std::string& name)
{
    static std::map<std::string, json> cache;
    auto found = cache.find(name);
    if (found == cache.end())
        found = cache.emplace(name, ReadJson(LUM_PEER_STREAMS_DIR "/" + name + ".dvbpsi.json")).first;
    return found->second;
}

// Every key of `expected` that `ours` has too must agree; keys only the peer reads
// (decoded texts, fields we do not keep) are skipped, and a key we should have is listed.
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

class SITablesPeerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!LUM_PEER_STREAMS_AVAILABLE)
            GTEST_SKIP() << LUM_PEER_STREAMS_SKIP_REASON;
        ASSERT_FALSE(Captured("three_programs").is_null()) << "the stream did not play";
        ASSERT_FALSE(Peer("three_programs").is_discarded());
    }
    const json& Ours() { return Captured("three_programs"); }
    const json& Theirs() { return Peer("three_programs"); }
};

}  // namespace

TEST_F(SITablesPeerTest, ProgramAssociationAgreesWithLibdvbpsi)
{
    ExpectAgrees(Theirs()["pat"], Ours()["pat"], "pat", {"transport_stream_id", "version", "programs"});
}

TEST_F(SITablesPeerTest, ProgramMapsAgreeWithLibdvbpsi)
{
    ASSERT_EQ(Ours()["pmts"].size(), Theirs()["pmts"].size());
    for (const json& pmt : Theirs()["pmts"]) {
        const std::string number = std::to_string(pmt["program_number"].get<int>());
        ASSERT_TRUE(Ours()["pmts"].contains(number)) << number;
        ExpectAgrees(pmt, Ours()["pmts"][number], "pmt " + number, {"pid", "pcr_pid", "streams"});
    }
}

TEST_F(SITablesPeerTest, ServicesAgreeWithLibdvbpsi)
{
    ExpectAgrees(Theirs()["sdt"], Ours()["sdt"], "sdt", {"original_network_id", "services"});
    for (const json& service : Ours()["sdt"]["services"])
        EXPECT_TRUE(service.contains("name_hex"));
}

TEST_F(SITablesPeerTest, NetworkAgreesWithLibdvbpsi)
{
    ExpectAgrees(Theirs()["nit"], Ours()["nit"], "nit", {"network_id", "network_name_hex", "transport_streams"});
    EXPECT_EQ(Ours()["nit"]["transport_streams"][0]["terrestrial"]["frequency"], 50600000);
}

TEST_F(SITablesPeerTest, EventsAgreeWithLibdvbpsi)
{
    // present/following and schedule sections, keyed by table, service and section
    std::size_t compared = 0;
    for (const json& eit : Theirs()["eits"]) {
        const std::string key = std::to_string(eit["table_id"].get<int>()) + "/" +
                                std::to_string(eit["service_id"].get<int>()) + "/" +
                                std::to_string(eit["section_number"].get<int>());
        ASSERT_TRUE(Ours()["eits"].contains(key)) << key;
        ExpectAgrees(eit, Ours()["eits"][key], "eit " + key, {"version", "events"});
        ++compared;
    }
    EXPECT_EQ(compared, Ours()["eits"].size());
    EXPECT_GT(compared, 20u);
}

TEST_F(SITablesPeerTest, TimeTablesAgreeWithLibdvbpsi)
{
    ExpectAgrees(Theirs()["tdt"], Ours()["tdt"], "tdt", {"mjd", "time_bcd"});
    ExpectAgrees(Theirs()["tot"], Ours()["tot"], "tot", {"mjd", "time_bcd", "descriptors"});
    // every TDT and TOT is reported, as many as libdvbpsi saw
    EXPECT_EQ(Ours()["reports"]["6"], Theirs()["counters"]["sections"]["tdt"]);
    EXPECT_EQ(Ours()["reports"]["7"], Theirs()["counters"]["sections"]["tot"]);
}

TEST_F(SITablesPeerTest, ProgramsAgreeWithFfprobe)
{
    const json probe = ReadJson(LUM_PEER_STREAM("three_programs.ffprobe.json"));
    ASSERT_TRUE(probe.contains("programs"));
    ASSERT_EQ(probe["programs"].size(), Ours()["pmts"].size());
    for (const json& program : probe["programs"]) {
        const int number = program["program_id"];
        const json& ours = Ours()["pmts"][std::to_string(number)];
        EXPECT_EQ(ours["pid"], program["pmt_pid"]);
        EXPECT_EQ(ours["pcr_pid"], program["pcr_pid"]);
        ASSERT_EQ(ours["streams"].size(), program["streams"].size());
        for (std::size_t i = 0; i < program["streams"].size(); ++i) {
            const json& stream = program["streams"][i];
            EXPECT_EQ(ours["streams"][i]["pid"], std::stoi(stream["id"].get<std::string>(), nullptr, 16));
            const std::string codec = stream["codec_name"];
            EXPECT_EQ(ours["streams"][i]["type"], codec == "mpeg2video" ? 0x02 : 0x03) << codec;
            if (stream.contains("tags") && stream["tags"].contains("language")) {
                EXPECT_EQ(ours["streams"][i]["language"], stream["tags"]["language"]);
            }
        }
        // FFmpeg decodes the name; ours is the bytes as sent: a 0x15 selector, then UTF-8
        std::string name;
        const std::string hex = [&] {
            for (const json& s : Ours()["sdt"]["services"])
                if (s["service_id"] == number)
                    return s["name_hex"].get<std::string>();
            return std::string();
        }();
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
            name += char(std::stoi(hex.substr(i, 2), nullptr, 16));
        if (!name.empty() && name[0] == '\x15')
            name.erase(0, 1);
        EXPECT_EQ(name, program["tags"]["service_name"].get<std::string>());
    }
}

TEST(SIReceiverPeerTest, ChangedVersionsAreReportedAndTheLastOneIsHeld)
{
    if (!LUM_PEER_STREAMS_AVAILABLE)
        GTEST_SKIP() << LUM_PEER_STREAMS_SKIP_REASON;
    const json& ours = Captured("version_change");
    const json& theirs = Peer("version_change");
    ASSERT_FALSE(ours.is_null());
    // the network information table goes from version 3 to 4 halfway
    const json versions = ours["versions"]["64/" + std::to_string(theirs["nit"]["network_id"].get<int>())];
    EXPECT_EQ(versions, json::array({3, 4}));
    EXPECT_EQ(ours["nit"]["version"], theirs["nit"]["version"]);
    for (const json& eit : theirs["eits"]) {
        const std::string key = std::to_string(eit["table_id"].get<int>()) + "/" +
                                std::to_string(eit["service_id"].get<int>()) + "/" +
                                std::to_string(eit["section_number"].get<int>());
        EXPECT_EQ(ours["eits"][key]["version"], eit["version"]) << key;
    }
}
