// lumrx analyze against an independent reading of the same files: our own small script
// (tests/streams/analysis/ts_analysis.py, written from docs/analysis.md, itself checked
// against ffprobe's packets), on the committed streams and on FFmpeg-made streams with one
// known fault each (make_faults.py).
#include "tests/support/CommandOutput.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

using nlohmann::json;

namespace {

const std::string kScripts = LUM_SOURCE_DIR "/tests/streams/analysis/";

json JsonOf(const std::string& command)
{
    const auto [status, out] = CommandOutput(command + " 2>/dev/null");
    EXPECT_EQ(status, 0) << command;
    const json parsed = json::parse(out, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << command << "\n" << out;
    return parsed.is_discarded() ? json::object() : parsed;
}

json Ours(const std::string& path) { return JsonOf(LUMRX_PATH " analyze --json " + path); }
json Script(const std::string& path, const char* options = "")
{
    return JsonOf("python3 " + kScripts + "ts_analysis.py " + options + " " + path);
}

// Every field the script gives, in every row it gives: counts exactly, bitrates and times to
// within rounding.
void ExpectSameRows(const json& ours, const json& peer, const std::vector<std::string>& keys, const std::string& what)
{
    ASSERT_EQ(ours.size(), peer.size()) << what;
    for (std::size_t i = 0; i < peer.size(); ++i) {
        for (const std::string& key : keys)
            ASSERT_EQ(ours[i][key], peer[i][key]) << what << " " << peer[i];
        for (const auto& [field, value] : peer[i].items()) {
            const json& mine = ours[i][field];
            if (value.is_object()) {
                for (const auto& [part, number] : value.items())
                    EXPECT_NEAR(mine[part].get<double>(), number.get<double>(), 1e-6) << what << " " << peer[i] << " " << field;
            } else if (value.is_number_float()) {
                EXPECT_NEAR(mine.get<double>(), value.get<double>(), 1e-9 * value.get<double>()) << what << " " << field;
            } else {
                EXPECT_EQ(mine, value) << what << " " << peer[i] << " " << field;
            }
        }
    }
}

void ExpectAgreement(const std::string& path)
{
    SCOPED_TRACE(path);
    const json ours = Ours(path);
    const json peer = Script(path);
    ASSERT_TRUE(ours.contains("ts") && peer.contains("ts"));
    for (const auto& [field, value] : peer["ts"].items())
        if (value.is_number_float())
            EXPECT_NEAR(ours["ts"][field].get<double>(), value.get<double>(), 1e-9 * value.get<double>()) << field;
        else
            EXPECT_EQ(ours["ts"][field], value) << field;
    ExpectSameRows(ours["pids"], peer["pids"], {"pid"}, "pid");
    ExpectSameRows(ours["tables"], peer["tables"], {"pid", "table_id", "table_id_ext"}, "table");
    EXPECT_EQ(ours["tr101290"], peer["tr101290"]);
}

}  // namespace

// Per PID packets, adaptation fields, PCR/PTS/DTS and their first and last values, PES
// starts, continuity, per table sections, versions and repetition, and every indicator: as
// the script finds them, whose PES and PTS agree with ffprobe's packets on these streams.
TEST(LumrxAnalyzeTest, AgreesWithAnIndependentReading)
{
    for (const char* path : {LUM_PEER_THREE_PROGRAMS_TS, LUM_PEER_CHANNEL_NUMBERS_TS, LUM_SAMPLE_TS,
                             LUM_PEER_STREAM("modern.ts"), LUM_PEER_STREAM("teletext/teletext_damaged.ts")})
        ExpectAgreement(path);
    for (const char* path : {LUM_PEER_THREE_PROGRAMS_TS, LUM_SAMPLE_TS}) {
        const auto [status, out] = CommandOutput("python3 " + kScripts + "ts_analysis.py --ffprobe " + std::string(path) + " 2>&1 >/dev/null");
        EXPECT_EQ(status, 0) << path << ": the script and ffprobe disagree\n" << out;
    }
    // the bitrate from the PCR against the rate FFmpeg multiplexed at
    const json three = Ours(LUM_PEER_THREE_PROGRAMS_TS);
    EXPECT_NEAR(three["ts"]["bitrate"].get<double>(), LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND,
                0.005 * LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND);
    // services with their numbers and PIDs, as lumrx services lists them
    const json numbered = Ours(LUM_PEER_CHANNEL_NUMBERS_TS)["services"];
    ASSERT_EQ(numbered.size(), 3u);
    EXPECT_EQ(numbered[0]["id"], 103);
    EXPECT_EQ(numbered[0]["lcn"], 1);
    EXPECT_EQ(numbered[2]["visible"], false);
    EXPECT_EQ(numbered[0]["pids"], json({0x104, 0x1002}));
}

// A clean stream gives no indicator, and each fault exactly its own, where it happened.
TEST(LumrxAnalyzeTest, EachFaultGivesExactlyItsIndicator)
{
    const std::string dir = ::testing::TempDir() + "analysis_" + std::to_string(::getpid()) + "/";
    ASSERT_EQ(std::system(("python3 " + kScripts + "make_faults.py " + dir + " >/dev/null").c_str()), 0)
        << "make_faults.py could not make the streams (FFmpeg is needed)";
    std::ifstream file(dir + "faults.json");
    const json faults = json::parse(file, nullptr, false);
    ASSERT_TRUE(faults.is_object() && faults.size() == 7u);
    for (const auto& [name, expected] : faults.items()) {
        SCOPED_TRACE(name);
        const json ours = Ours(dir + name);
        for (const auto& [indicator, count] : ours["tr101290"].items()) {
            EXPECT_EQ(count["count"], expected.value(indicator, 0)) << indicator;
            if (expected.contains("fault") && expected["fault"]["first_packet"].contains(indicator)) {
                EXPECT_EQ(count["first_packet"], expected["fault"]["first_packet"][indicator]) << indicator;
            }
        }
        for (const json& pid : ours["pids"]) {
            if (!expected.contains("fault") || pid["pid"] != expected["fault"]["pid"])
                continue;
            for (const auto& [field, value] : expected["fault"]["pid_counts"].items())
                EXPECT_EQ(pid[field], value) << field;
        }
        EXPECT_NEAR(ours["ts"]["bitrate"].get<double>(), 600000, 0.005 * 600000);
        ExpectAgreement(dir + name);
    }
    // and for people: each indicator on a line, with where it first happened
    const auto [status, text] = CommandOutput(LUMRX_PATH " analyze " + dir + "pat_gap.ts");
    EXPECT_EQ(status, 0);
    EXPECT_NE(text.find("600.0 kbit/s"), std::string::npos) << text;
    EXPECT_NE(text.find("PAT_error                                  1  first at packet 998"), std::string::npos) << text;
    std::system(("rm -rf " + dir).c_str());
}
