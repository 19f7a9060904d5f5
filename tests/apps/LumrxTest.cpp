// lumrx as a user runs it, on streams FFmpeg and libdvbpsi wrote, read against what ffprobe
// and libdvbpsi say of the same files (their readings are committed beside the streams).
#include "si/CDVBText.h"
#include "tests/support/CommandOutput.h"
#include "tests/support/Psnr.h"
#include "tests/support/PeerJson.h"

#include "peer_streams.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <iterator>
#include <cstdlib>
#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>

using nlohmann::json;

namespace {

struct LumrxRun { std::string out; int status = -1; };

// Runs lumrx with `arguments` in the temporary folder; standard error is dropped unless `withErrors`.
LumrxRun Lumrx(const std::string& arguments, bool withErrors = false, const std::string& environment = "")
{
    const auto [status, out] = CommandOutput("cd " + ::testing::TempDir() + " && " + environment + LUMRX_PATH " " + arguments +
                                             (withErrors ? " 2>&1" : " 2>/dev/null"));
    return {out, status};
}

json ServicesOf(const std::string& path)
{
    const LumrxRun run = Lumrx("services --json " + path);
    EXPECT_EQ(run.status, 0) << path;
    const json ours = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(ours.is_discarded()) << run.out;
    return ours.is_discarded() ? json::array() : ours["services"];
}

const json& WithId(const json& list, const char* key, const json& id)
{
    static const json none;
    for (const json& item : list)
        if (item[key] == id)
            return item;
    return none;
}

}  // namespace

// Every PID, codec, language and name as ffprobe reads them, on an MPEG-2 multiplex, an
// H.264/E-AC-3/AAC/subtitle HD service and the bundled sample.
TEST(LumrxTest, EveryServiceAgreesWithFfprobe)
{
    for (const std::string stream :
         {LUM_PEER_STREAM("three_programs"), LUM_PEER_STREAM("modern"), LUM_SAMPLE_DIR "/sample"}) {
        SCOPED_TRACE(stream);
        const json ours = ServicesOf(stream + ".ts");
        const json probe = ReadJson(stream + ".ffprobe.json");
        ASSERT_EQ(ours.size(), probe["programs"].size());
        for (const json& program : probe["programs"]) {
            const json& service = WithId(ours, "id", program["program_id"]);
            ASSERT_FALSE(service.is_null()) << program["program_id"];
            EXPECT_EQ(service["pmt_pid"], program["pmt_pid"]);
            EXPECT_EQ(service["pcr_pid"], program["pcr_pid"]);
            for (const std::string field : {"name", "provider"})
                EXPECT_TRUE(!program.contains("tags") || service[field] == program["tags"]["service_" + field]) << service;
            ASSERT_EQ(service["elements"].size(), program["streams"].size());
            for (const json& s : program["streams"]) {
                const json& element = WithId(service["elements"], "pid", std::stoi(s["id"].get<std::string>(), nullptr, 16));
                EXPECT_EQ(element["codec"], s["codec_name"]) << s["id"];
                if (s.contains("tags") && s["tags"].contains("language")) {
                    const std::string description = element["description"];
                    EXPECT_NE(description.find("(" + s["tags"]["language"].get<std::string>() + ")"), std::string::npos)
                        << description;
                }
                for (const char* type : {"pmttype", "sdttype"})   // an HD service of the modern kind
                    EXPECT_TRUE(s["codec_name"] != "h264" || service[type] == "digital television service") << service;
            }
        }
    }
}

// Channel numbers as libdvbpsi reads them from the NIT's entry for this stream, in their
// order, the hidden one marked; the other stream's entry numbers nothing here.
TEST(LumrxTest, ListsServicesInChannelOrderWithTheirNumbers)
{
    const json peer = ReadJson(LUM_PEER_STREAM("channel_numbers.dvbpsi.json"));
    json channels;
    for (const json& ts : peer["nit"]["transport_streams"])
        if (ts["tsid"] == peer["pat"]["transport_stream_id"])
            channels = ts["lcn"];
    ASSERT_EQ(channels.size(), 3u);
    std::sort(channels.begin(), channels.end(), [](const json& a, const json& b) { return a["number"] < b["number"]; });
    const json ours = ServicesOf(LUM_PEER_CHANNEL_NUMBERS_TS);
    ASSERT_EQ(ours.size(), channels.size());
    std::string lines;
    for (std::size_t i = 0; i < ours.size(); ++i) {
        EXPECT_EQ(ours[i]["id"], channels[i]["service_id"]);
        EXPECT_EQ(ours[i]["lcn"], channels[i]["number"]);
        EXPECT_EQ(ours[i]["visible"], channels[i]["visible"]);
        lines += "[" + channels[i]["number"].dump() + (channels[i]["visible"] ? "] " : ", hidden] ") + "Service " +
                 channels[i]["service_id"].dump() + " ";
    }
    const LumrxRun table = Lumrx(std::string("services ") + LUM_PEER_CHANNEL_NUMBERS_TS);
    std::istringstream in(table.out);
    std::string line, shown;
    while (std::getline(in, line))
        if (line.rfind('[', 0) == 0)
            shown += line.substr(0, line.find("  ")) + " ";
    EXPECT_EQ(shown, lines) << table.out;
    EXPECT_TRUE(WithId(ServicesOf(LUM_PEER_THREE_PROGRAMS_TS), "id", 101)["lcn"].is_null());
}

// The network as libdvbpsi reads it, and an empty following section as null.
TEST(LumrxTest, NowAndNextAreTheEventsBroadcast)
{
    const json ours = ServicesOf(LUM_PEER_THREE_PROGRAMS_TS);
    const json dvbpsi = ReadJson(LUM_PEER_STREAM("three_programs.dvbpsi.json"));
    // the events' fields are compared with libdvbpsi's in the section and receiver peer tests
    EXPECT_TRUE(WithId(ours, "id", 103)["next"].is_null()) << "103's following section is empty";
    EXPECT_FALSE(WithId(ours, "id", 101)["now"].is_null());
    // the multiplex each service is in, as libdvbpsi reads the SDT and NIT
    for (const json& service : ours) {
        EXPECT_EQ(service["transport_stream_id"], dvbpsi["sdt"]["transport_stream_id"]);
        EXPECT_EQ(service["original_network_id"], dvbpsi["sdt"]["original_network_id"]);
        EXPECT_EQ(service["network"], Unhex(dvbpsi["nit"]["network_name_hex"]));
    }
    const LumrxRun table = Lumrx(std::string("services ") + LUM_PEER_THREE_PROGRAMS_TS);
    for (const char* line : {"Service 102  T\xC3\xA9l\xC3\xA9 Deux", "PMT PID 0x1000, PCR PID 0x0100",
                             "transport stream 4660, original network 8755 (LUM Peer Network)"})
        EXPECT_NE(table.out.find(line), std::string::npos) << table.out;
}

// Names and titles in their character tables, in the UTF-8 written by hand beside the stream;
// without program maps (latin_tables has no PMT, cut_section no PAT either) services still show.
TEST(LumrxTest, TextsInTheirCharacterTablesComeOutAsUTF8AndServicesShowWithoutMaps)
{
    for (const auto& [stream, expectedPath] : {std::make_pair(LUM_PEER_LATIN_TABLES_TS, LUM_PEER_LATIN_TABLES_EXPECTED),
                                               std::make_pair(LUM_SAMPLE_TS, LUM_SAMPLE_EXPECTED_JSON)}) {
        SCOPED_TRACE(stream);
        const json ours = ServicesOf(stream);
        const json expected = ReadJson(expectedPath);
        for (const json& service : expected["services"])
            for (const char* field : {"name", "provider"})
                EXPECT_EQ(WithId(ours, "id", service["service_id"])[field], service[std::string(field) + "_utf8"]) << field;
        for (const json& event : expected["events"])
            for (const json& slot : event["carried_in"]) {
                if (slot == "schedule")
                    continue;
                const json& shown = WithId(ours, "id", event["service_id"])[slot == "present" ? "now" : "next"];
                ASSERT_FALSE(shown.is_null()) << event["event_id"];
                EXPECT_EQ(shown["title"], event["name_utf8"]);
                EXPECT_EQ(shown["text"], event["text_utf8"]);
            }
    }
    for (const char* path : {LUM_PEER_LATIN_TABLES_TS, LUM_PEER_CUT_SECTION_TS}) {
        const json ours = ServicesOf(path);
        ASSERT_EQ(ours.size(), 3u) << path;
        for (const json& s : ours)
            EXPECT_TRUE(s["pcr_pid"].is_null() && s["elements"].empty() && !s["now"].is_null()) << path << s;
    }
}

// On standard output and byte for byte: a recording played on simulated time is the stream,
// a component's elementary stream what FFmpeg copies out of the file.
TEST(LumrxTest, CopiesOutWhatFFmpegDoes)
{
    const std::string dir = ::testing::TempDir(), ours = dir + "lumrx_out", theirs = dir + "ffmpeg_out";
    const std::tuple<const char*, const char*, const char*, const char*> cases[] = {   // lumrx's, and FFmpeg's copy
        {"record --simulate", LUM_PEER_THREE_PROGRAMS_TS, "", nullptr}, {"extract", LUM_PEER_STREAM("modern.ts"), "0x100", "-map 0:0 -f h264"},
        {"extract", LUM_PEER_STREAM("modern.ts"), "0x102", "-map 0:2 -f adts"},
        {"extract", LUM_PEER_THREE_PROGRAMS_TS, "0x101", "-map 0:p:102:v -f mpeg2video"}};
    for (const auto& [command, stream, pid, format] : cases) {
        EXPECT_EQ(Lumrx(std::string(command) + " " + stream + " " + pid + " - > " + ours).status, 0) << command << pid;
        const std::string ffmpeg = "ffmpeg -v error -y -i " + std::string(stream) + " -c copy " + (format ? format : "") + " " + theirs;
        ASSERT_TRUE(!format || std::system(ffmpeg.c_str()) == 0);
        EXPECT_EQ(std::system(("cmp " + ours + " " + (format ? theirs : stream)).c_str()), 0) << stream << " " << pid;
    }
}

// A service's first picture through the decoder and display plug-ins, as FFmpeg decodes
// it (H.264 and MPEG-2 video), and damaged streams that end with a message, not a crash.
TEST(LumrxTest, SnapshotsMatchFFmpegsPicturesAndDamageIsSurvived)
{
    const std::string dir = ::testing::TempDir(), ours = dir + "lumrx_snap.png", theirs = dir + "ffmpeg_snap.png";
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {LUM_PEER_STREAM("modern.ts"), "1", "-map 0:v"}, {LUM_PEER_THREE_PROGRAMS_TS, "102", "-map 0:p:102:v"}};
    for (const auto& [stream, service, map] : cases) {
        ASSERT_EQ(Lumrx(std::string("snapshot ") + stream + " " + service + " " + ours).status, 0) << stream;
        const std::string reference = "ffmpeg -v error -y -i " + std::string(stream) + " " + map + " -frames:v 1 " + theirs;
        ASSERT_EQ(std::system(reference.c_str()), 0);
        EXPECT_GE(Psnr(ours, theirs), 40.0) << stream;
    }
    // cut short, and overwritten in its middle: whatever comes out, lumrx ends and says so
    std::ifstream in(LUM_PEER_STREAM("modern.ts"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(dir + "cut.ts", std::ios::binary) << bytes.substr(0, 188 * 60);
    std::fill(bytes.begin() + 188 * 40, bytes.begin() + 188 * 120, '\x55');
    std::ofstream(dir + "damaged.ts", std::ios::binary) << bytes;
    // and a video PID whose packets carry no PES header where one should start
    std::ifstream mpeg2(LUM_PEER_THREE_PROGRAMS_TS, std::ios::binary);
    std::string noPes((std::istreambuf_iterator<char>(mpeg2)), std::istreambuf_iterator<char>());
    for (std::size_t at = 0; at + 188 <= noPes.size(); at += 188)
        if ((noPes[at + 1] & 0x5F) == 0x41 && noPes[at + 2] == 0x01)   // unit starts on PID 0x101
            noPes.replace(at + 4, 3, "\xFF\xFF\xFF");
    std::ofstream(dir + "nopes.ts", std::ios::binary) << noPes;
    const LumrxRun none = Lumrx("snapshot " + dir + "nopes.ts 102 " + ours, true);
    EXPECT_EQ(none.status, 1) << none.out;
    EXPECT_NE(none.out.find("no picture of service 102"), std::string::npos) << none.out;
    for (const char* file : {"cut.ts", "damaged.ts"}) {
        const LumrxRun run = Lumrx("snapshot " + dir + file + " 1 " + ours, true);
        EXPECT_TRUE(run.status == 0 || run.out.find("no picture") != std::string::npos) << file << run.out;
    }
}

// One service as a single-program stream, to a file and to standard output: ffprobe sees
// that program alone with its streams, and lumrx lists that service alone, named.
TEST(LumrxTest, RecordsOneServiceAsASingleProgramStream)
{
    const std::string one = ::testing::TempDir() + "lumrx_one.ts";   // through standard output, read by ffprobe as it comes
    const auto [status, text] = CommandOutput(LUMRX_PATH " record --simulate --service 102 " LUM_PEER_THREE_PROGRAMS_TS
                                              " - 2>/dev/null | tee " + one + " | ffprobe -v error -show_programs -of json -");
    ASSERT_EQ(status, 0);
    const json programs = json::parse(text, nullptr, false)["programs"];
    ASSERT_EQ(programs.size(), 1u) << text;
    EXPECT_EQ(programs[0]["program_id"], 102);
    EXPECT_EQ(programs[0]["nb_streams"], 3);   // video and two audio, as in the multiplex
    const json ours = ServicesOf(one);
    ASSERT_EQ(ours.size(), 1u);
    EXPECT_EQ(ours[0]["name"], "T\xC3\xA9l\xC3\xA9 Deux");
}

// The whole guide as XMLTV: valid against Debian's DTD and taken by xmltv-util's validator
// (which refuses a channel without programmes), and every event libdvbpsi reads, with its
// title and its start in UTC.
TEST(LumrxTest, WritesEveryEventAsValidXMLTV)
{
    const std::string guide = ::testing::TempDir() + "lumrx_guide.xml";
    for (const char* stream : {LUM_PEER_STREAM("si_rich.ts"), LUM_PEER_LATIN_TABLES_TS, LUM_SAMPLE_TS, LUM_PEER_THREE_PROGRAMS_TS}) {
        ASSERT_EQ(Lumrx(std::string("xmltv ") + stream + " -o " + guide, false, "TZ=UTC ").status, 0) << stream;
        EXPECT_EQ(std::system(("XMLTV_SUPPLEMENT=/usr/share/xmltv tv_validate_file " + guide + " >/dev/null 2>&1 && xmllint --noout "
                               "--dtdvalid /usr/share/xmltv/xmltv.dtd " + guide + " 2>/dev/null").c_str()), 0) << stream;
    }
    std::ifstream file(guide);
    const std::string xml((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const json dvbpsi = ReadJson(LUM_PEER_STREAM("three_programs.dvbpsi.json"));
    int events = 0;
    for (const auto& [key, eit] : dvbpsi["eits"].items())
        for (const json& event : eit["events"]) {
            const std::time_t start = std::time_t(event["mjd"].get<int>() - 40587) * 86400;
            std::tm t{};
            gmtime_r(&start, &t);
            const int bcd = event["start_bcd"];
            char when[64];
            std::snprintf(when, sizeof when, "start=\"%04d%02d%02d%02x%02x%02x \\+0000\"", t.tm_year + 1900, t.tm_mon + 1,
                          t.tm_mday, bcd >> 16, (bcd >> 8) & 0xFF, bcd & 0xFF);
            const std::string channel = "channel=\"" + std::to_string(eit["onid"].get<int>()) + "." +
                                        std::to_string(eit["tsid"].get<int>()) + "." + std::to_string(eit["service_id"].get<int>()) + "\"";
            std::smatch programme;   // the one of that channel at that start, with its title
            ASSERT_TRUE(std::regex_search(xml, programme, std::regex(when + std::string(" stop=\"[^\"]*\" ") + channel +
                                                                    ">\\s*<title[^>]*>([^<]*)</title>"))) << when << " " << channel;
            const std::string title = Unhex(event["name_hex"]);
            EXPECT_EQ(programme[1], CDVBText::ToUTF8(CString(title.data(), int(title.size()))));
            ++events;
        }
    EXPECT_GE(events, 8);
}

// An empty file is a stream in which nothing comes: each second says so, and the run fails.
TEST(LumrxTest, EachFailureHasItsCodeAndAMessage)
{
    const std::string junk = ::testing::TempDir() + "lumrx_junk.ts", empty = ::testing::TempDir() + "lumrx_empty.ts";
    std::ofstream(junk) << "this is not a transport stream, it is text and more text and more text\n";
    std::ofstream(empty).close();
    const std::tuple<std::string, int, const char*> cases[] = {
        {"test --simulate --seconds 3 " + empty, 1, "no data was received"}, {"services " + empty, 1, ""},
        {"services /no/such/file.ts", 5, "no such file"}, {"services " + junk, 6, "not a transport stream"},
        {"services NoSuchDefinition", 4, "no multiplex definition"},
        {"list --plugin LUMNoSuchPlugin", 3, "unknown input plug-in"},
        {"frobnicate", 2, "unknown command"}, {"services", 2, "needs an argument"},
        {"record --simulate " LUM_PEER_THREE_PROGRAMS_TS " /dev/full", 9, "No space left on device"},   // a full disk
        {"record " + empty + " /no/such/folder/x.ts", 9, "No such file or directory"},
        {"extract " LUM_PEER_THREE_PROGRAMS_TS " 0x101 /dev/full", 9, "No space left on device"},
        // numbers read strictly, and what the multiplex lacks named with what it has
        {"record --service abc " LUM_PEER_THREE_PROGRAMS_TS " x.ts", 2, "--service abc: a service number is 0 to 65535"},
        {"record --service 70000 " LUM_PEER_THREE_PROGRAMS_TS " x.ts", 2, "--service 70000"},
        {"extract " LUM_PEER_THREE_PROGRAMS_TS " 9000 x.es", 2, "PID 9000: a PID is 0 to 8191"},
        {"snapshot " LUM_PEER_THREE_PROGRAMS_TS " 1x2 x.png", 2, "service 1x2"},
        {"record --simulate --service 999 " LUM_PEER_THREE_PROGRAMS_TS " " + ::testing::TempDir() + "x.ts", 1,
         "no service 999 in " LUM_PEER_THREE_PROGRAMS_TS "; its services are 101, 102, 103"},
        {"extract " LUM_PEER_THREE_PROGRAMS_TS " 0x999 x.es", 1, "no PID 0x999 (2457) in"},
        {"snapshot " LUM_PEER_THREE_PROGRAMS_TS " 999 x.png", 1, "no service 999 in"},
        {"snapshot " LUM_SAMPLE_TS " 1004 x.png", 1, "service 1004 of " LUM_SAMPLE_TS " has no video"},
        {"snapshot " LUM_PEER_THREE_PROGRAMS_TS " 102 x.png --at 500", 1, "--at 500 is past the end"},
        {"xmltv " LUM_PEER_STREAM("modern.ts"), 1, "no event of a guide"}};
    for (const auto& [arguments, status, message] : cases) {
        const LumrxRun run = Lumrx(arguments, true);
        EXPECT_EQ(run.status, status) << arguments << "\n" << run.out;
        EXPECT_NE(run.out.find(message), std::string::npos) << arguments << "\n" << run.out;
    }
}
