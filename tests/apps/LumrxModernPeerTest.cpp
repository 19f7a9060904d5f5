// lumrx on a multiplex FFmpeg wrote as a DVB HD service (tests/streams/make_modern.sh):
// every PID and codec as ffprobe reads them.
#include "tests/support/PeerJson.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <string>

using nlohmann::json;

TEST(LumrxModernPeerTest, AgreesWithFfprobeOnEveryPIDAndCodec)
{
    std::string out;
    FILE* pipe = ::popen((std::string(LUMRX_PATH) + " services --json " LUM_MODERN_STREAM ".ts 2>/dev/null").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        out.append(buffer, n);
    ASSERT_EQ(::pclose(pipe), 0) << out;
    const json ours = json::parse(out, nullptr, false);
    const json probe = ReadJson(LUM_MODERN_STREAM ".ffprobe.json");
    ASSERT_FALSE(ours.is_discarded() || probe.is_discarded()) << out;

    ASSERT_EQ(ours["services"].size(), probe["programs"].size());
    const json& program = probe["programs"][0];
    const json& service = ours["services"][0];
    EXPECT_EQ(service["id"], program["program_id"]);
    EXPECT_EQ(service["pmt_pid"], program["pmt_pid"]);
    EXPECT_EQ(service["pcr_pid"], program["pcr_pid"]);
    EXPECT_EQ(service["sdttype"], "digital television service");   // SDT service type 0x19
    EXPECT_EQ(service["pmttype"], "digital television service");   // H.264 video
    ASSERT_EQ(service["elements"].size(), probe["streams"].size());
    for (const json& stream : probe["streams"]) {
        const int pid = std::stoi(stream["id"].get<std::string>(), nullptr, 16);
        const json* element = nullptr;
        for (const json& e : service["elements"])
            if (e["pid"] == pid)
                element = &e;
        ASSERT_NE(element, nullptr) << pid;
        EXPECT_EQ((*element)["codec"], stream["codec_name"]) << pid;
        const std::string language = stream.contains("tags") ? stream["tags"].value("language", "") : "";
        if (!language.empty()) {
            EXPECT_NE((*element)["description"].get<std::string>().find("(" + language + ")"), std::string::npos)
                << (*element)["description"];
        }
    }
}
