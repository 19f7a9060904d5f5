// lumrx as a user runs it: its output on streams FFmpeg and libdvbpsi wrote, read against
// what ffprobe and libdvbpsi say of the same files.
#include "tests/support/PeerJson.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

using nlohmann::json;

namespace {

struct LumrxRun
{
    std::string out;
    int status = -1;
};

// Runs lumrx with `arguments`; standard error is dropped unless `withErrors`.
LumrxRun Lumrx(const std::string& arguments, bool withErrors = false)
{
    LumrxRun run;
    const std::string command = std::string(LUMRX_PATH) + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}


}  // namespace

TEST(LumrxTest, ServicesAgreeWithFfprobeAndTheEventsWritten)
{
    const LumrxRun run = Lumrx(std::string("services --json ") + LUM_PEER_THREE_PROGRAMS_TS);
    ASSERT_EQ(run.status, 0) << run.out;
    const json ours = json::parse(run.out, nullptr, false);
    ASSERT_FALSE(ours.is_discarded()) << run.out;
    const json probe = ReadJson(LUM_PEER_STREAM("three_programs.ffprobe.json"));
    ASSERT_EQ(ours["services"].size(), probe["programs"].size());
    for (const json& program : probe["programs"]) {
        const json* service = nullptr;
        for (const json& s : ours["services"])
            if (s["id"] == program["program_id"])
                service = &s;
        ASSERT_NE(service, nullptr) << program["program_id"];
        EXPECT_EQ((*service)["name"], program["tags"]["service_name"]);
        EXPECT_EQ((*service)["provider"], program["tags"]["service_provider"]);
        EXPECT_EQ((*service)["pmt_pid"], program["pmt_pid"]);
        EXPECT_EQ((*service)["pcr_pid"], program["pcr_pid"]);
        EXPECT_EQ((*service)["sdttype"], "digital television service");
        EXPECT_EQ((*service)["pmttype"], "digital television service");
        EXPECT_EQ((*service)["access"], "free to air");
        ASSERT_EQ((*service)["elements"].size(), program["streams"].size());
        for (std::size_t i = 0; i < program["streams"].size(); ++i) {
            const json& stream = program["streams"][i];
            const json& element = (*service)["elements"][i];
            EXPECT_EQ(element["pid"], std::stoi(stream["id"].get<std::string>(), nullptr, 16));
            EXPECT_EQ(element["stream_type"], stream["codec_type"] == "video" ? 2 : 3);
        }
    }
    // the present and following titles the writer put in
    const json written = ReadJson(LUM_PEER_STREAM("three_programs.dvbpsi.json"));
    int checked = 0;
    for (const json& eit : written["eits"]) {
        if (eit["table_id"] != 0x4E)
            continue;
        const json* service = nullptr;
        for (const json& s : ours["services"])
            if (s["id"] == eit["service_id"])
                service = &s;
        ASSERT_NE(service, nullptr);
        const json& slot = (*service)[eit["section_number"] == 0 ? "now" : "next"];
        if (eit["events"].empty()) {
            EXPECT_TRUE(slot.is_null()) << "an empty section leaves no event";
            continue;
        }
        ASSERT_FALSE(slot.is_null());
        const std::string raw = Unhex(eit["events"][0]["name_hex"]);
        if (!raw.empty() && std::uint8_t(raw[0]) >= 0x20) {   // default table, ASCII here
            EXPECT_EQ(slot["title"], raw);
        }
        EXPECT_TRUE(std::regex_match(slot["start"].get<std::string>(),
                                     std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d)")))
            << slot["start"];
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

TEST(LumrxTest, TableNamesEveryServiceWithItsPIDs)
{
    const LumrxRun run = Lumrx(std::string("services ") + LUM_PEER_THREE_PROGRAMS_TS);
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Service 101  LUM One  (Peer Lab)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Service 102  T\xC3\xA9l\xC3\xA9 Deux"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("PMT PID 0x1000, PCR PID 0x0100"), std::string::npos);
    EXPECT_NE(run.out.find("audio (fra)"), std::string::npos);
}

TEST(LumrxTest, TestShowsTheFilesRateWithinTwoPercent)
{
    // simulated time: the same run as in real time, at the machine's speed and whatever its load
    const LumrxRun run = Lumrx(std::string("test --simulate --seconds 5 ") + LUM_PEER_THREE_PROGRAMS_TS);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::regex rate(R"(Data is being received at ([0-9.]+) megabits per second)");
    std::string last;
    for (auto it = std::sregex_iterator(run.out.begin(), run.out.end(), rate); it != std::sregex_iterator(); ++it)
        last = (*it)[1];
    ASSERT_FALSE(last.empty()) << run.out;
    // the file's own rate, at which FFmpeg muxed it
    const double muxed = LUM_PEER_THREE_PROGRAMS_BITS_PER_SECOND / 1e6;
    EXPECT_NEAR(std::stod(last), muxed, muxed * 0.02) << run.out;
    EXPECT_NE(run.out.find("service 102"), std::string::npos);
}

TEST(LumrxEmptyFile, ShowsNoDataWithAGrowingCountAndFails)
{
    const std::string path = ::testing::TempDir() + "lumrx_empty.ts";
    std::ofstream(path).close();
    const LumrxRun run = Lumrx("test --simulate --seconds 3 " + path);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find("No data is being received 1."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("No data is being received 2."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("No data is being received 3."), std::string::npos) << run.out;
    EXPECT_EQ(Lumrx("services " + path).status, 1);
}

TEST(LumrxErrors, EachFailureHasItsCodeAndAMessage)
{
    const std::string junk = ::testing::TempDir() + "lumrx_junk.ts";
    std::ofstream(junk) << "this is not a transport stream, it is text and more text and more text\n";
    struct Case
    {
        std::string arguments;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"services /no/such/file.ts", 5, "no such file"},
        {"services " + junk, 6, "not a transport stream"},
        {"services NoSuchDefinition", 4, "no multiplex definition"},
        {"list --plugin LUMNoSuchPlugin", 3, "unknown input plug-in"},
        {"frobnicate", 2, "unknown command"},
        {"services", 2, "needs an argument"},
    };
    for (const Case& c : cases) {
        const LumrxRun run = Lumrx(c.arguments, true);
        EXPECT_EQ(run.status, c.status) << c.arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.arguments << "\n" << run.out;
    }
}

namespace {

const json* ServiceWithId(const json& services, int id)
{
    for (const json& s : services)
        if (s["id"] == id)
            return &s;
    return nullptr;
}

// Names, providers, present and following titles and texts, in the UTF-8 written by hand
// beside the stream.
void ExpectTheHandWrittenTexts(const json& ours, const json& expected)
{
    ASSERT_FALSE(expected.is_discarded());
    for (const json& service : expected["services"]) {
        const json* s = ServiceWithId(ours["services"], service["service_id"]);
        ASSERT_NE(s, nullptr) << service["service_id"];
        EXPECT_EQ((*s)["name"], service["name_utf8"]);
        EXPECT_EQ((*s)["provider"], service["provider_utf8"]);
    }
    for (const json& event : expected["events"]) {
        const json* s = ServiceWithId(ours["services"], event["service_id"]);
        ASSERT_NE(s, nullptr);
        for (const json& slot : event["carried_in"]) {
            if (slot == "schedule")
                continue;
            const json& shown = (*s)[slot == "present" ? "now" : "next"];
            ASSERT_FALSE(shown.is_null()) << event["event_id"];
            EXPECT_EQ(shown["title"], event["name_utf8"]);
            EXPECT_EQ(shown["text"], event["text_utf8"]);
        }
    }
}

json ServicesOf(const std::string& path, int expectedStatus = 0)
{
    const LumrxRun run = Lumrx("services --json " + path);
    EXPECT_EQ(run.status, expectedStatus) << path;
    return json::parse(run.out, nullptr, false);
}

}  // namespace

TEST(LumrxTest, NamesAndTitlesInTheirCharacterTablesComeOutAsUTF8)
{
    const json ours = ServicesOf(LUM_PEER_LATIN_TABLES_TS);
    ASSERT_FALSE(ours.is_discarded());
    ExpectTheHandWrittenTexts(ours, ReadJson(LUM_PEER_LATIN_TABLES_EXPECTED));
}

TEST(LumrxTest, TheBundledSampleAsFfprobeAndItsWriterSeeIt)
{
    const json ours = ServicesOf(LUM_SAMPLE_TS);
    ASSERT_FALSE(ours.is_discarded());
    ExpectTheHandWrittenTexts(ours, ReadJson(LUM_SAMPLE_EXPECTED_JSON));
    FILE* probe = ::popen(("ffprobe -v error -show_programs -of json " + std::string(LUM_SAMPLE_TS)).c_str(), "r");
    ASSERT_NE(probe, nullptr);
    std::string text;
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, probe))
        text.append(buffer, n);
    ::pclose(probe);
    const json programs = json::parse(text, nullptr, false)["programs"];
    ASSERT_EQ(programs.size(), ours["services"].size());
    for (const json& program : programs) {
        const json* s = ServiceWithId(ours["services"], program["program_id"]);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ((*s)["pmt_pid"], program["pmt_pid"]);
        EXPECT_EQ((*s)["pcr_pid"], program["pcr_pid"]);
        EXPECT_EQ((*s)["elements"].size(), program["nb_streams"]);
    }
}

TEST(LumrxTest, AStreamWithoutProgramMapsStillListsItsServices)
{
    for (const char* path : {LUM_PEER_LATIN_TABLES_TS, LUM_PEER_CUT_SECTION_TS}) {
        const json ours = ServicesOf(path);
        ASSERT_FALSE(ours.is_discarded()) << path;
        ASSERT_EQ(ours["services"].size(), 3u) << path;
        for (const json& s : ours["services"]) {
            EXPECT_TRUE(s["pcr_pid"].is_null());
            EXPECT_TRUE(s["elements"].empty());
            EXPECT_FALSE(s["now"].is_null());
        }
    }
}

TEST(LumrxTest, ASectionCutShortLeavesNoGarbageService)
{
    const json ours = ServicesOf(LUM_PEER_CUT_SECTION_TS);
    ASSERT_FALSE(ours.is_discarded());
    ASSERT_EQ(ours["services"].size(), 3u);
    EXPECT_EQ(ServiceWithId(ours["services"], 999), nullptr);
    const std::string dump = ours.dump();
    EXPECT_EQ(dump.find("CUT NAME"), std::string::npos);
    EXPECT_EQ((*ServiceWithId(ours["services"], 101))["name"], "LUM One");
}

TEST(LumrxTest, AnEmptyFollowingSectionLeavesNextNull)
{
    const json ours = ServicesOf(LUM_PEER_THREE_PROGRAMS_TS);
    ASSERT_FALSE(ours.is_discarded());
    const json* radio = ServiceWithId(ours["services"], 103);
    ASSERT_NE(radio, nullptr);
    EXPECT_FALSE((*radio)["now"].is_null());
    EXPECT_TRUE((*radio)["next"].is_null());
}
