// lumrx teletext and subtitles on the committed teletext streams, against what their script
// sent (which FFmpeg's libzvbi decoder reads the same): pages as first received and as they
// were at a moment, subtitles as SRT, national characters and all; and the bad inputs.
#include "tests/support/CommandOutput.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kFolder = LUM_SOURCE_DIR "/tests/streams/teletext/";

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string Teletext(const std::string& arguments, int* status = nullptr, const char* command = "teletext")
{
    const auto [code, out] = CommandOutput(LUMRX_PATH " " + std::string(command) + " " + arguments + " 2>&1");
    if (status)
        *status = code;
    return out;
}

TEST(LumrxTeletextTest, PagesAreTheOnesSentAsFirstReceivedAndAtAMoment)
{
    const nlohmann::json sent = nlohmann::json::parse(std::ifstream(kFolder + "teletext.json"));
    int status = -1;
    const std::vector<std::string> page = Lines(Teletext(kFolder + "teletext.ts 0x200", &status));
    ASSERT_EQ(status, 0);
    ASSERT_FALSE(page.empty());
    EXPECT_NE(page[0].find("100.01 LUMTEXT"), std::string::npos) << page[0];
    for (const auto& [row, text] : sent["page100"]["subpages"]["0001"].items()) {
        const std::size_t at = std::stoul(row);
        ASSERT_LT(at, page.size()) << row;
        EXPECT_EQ(page[at], text.get<std::string>().substr(0, text.get<std::string>().find_last_not_of(' ') + 1)) << row;
    }
    for (const nlohmann::json& cue : sent["cues"]) {
        const double start = (cue["pts"].get<double>() - sent["first_pcr_90k"].get<double>() - sent["pts_delay_90k"].get<double>()) / 90000;
        const std::string arguments = kFolder + "teletext.ts 512 --page " + cue["page"].get<std::string>() + " --at " +
                                      std::to_string(start + 0.1);
        const std::vector<std::string> shown = Lines(Teletext(arguments, &status));
        ASSERT_EQ(status, 0) << arguments;
        std::vector<std::string> text;
        for (std::size_t row = 1; row < shown.size(); ++row)
            if (!Trimmed(shown[row]).empty())
                text.push_back(Trimmed(shown[row]));
        EXPECT_EQ(text, cue["lines"].get<std::vector<std::string>>()) << arguments;
    }
}

// One SRT cue per subtitle shown, its text as sent and its times within 40 ms of the PTS
// of the packets that showed and cleared it, from the first PCR; without
// --page, the first subtitle page to come, announced or not.
TEST(LumrxTeletextTest, SubtitlesAreTheCuesSent)
{
    const nlohmann::json sent = nlohmann::json::parse(std::ifstream(kFolder + "teletext.json"));
    const double origin = sent["first_pcr_90k"].get<double>();
    for (const char* page : {"888", "889", "890", "777", ""}) {
        SCOPED_TRACE(page);
        const std::string srt = ::testing::TempDir() + "subtitles" + page + ".srt";
        int status = -1;
        const std::string said = Teletext(kFolder + "teletext.ts 512 " + srt + (*page ? std::string(" --page ") + page : ""), &status, "subtitles");
        ASSERT_EQ(status, 0) << said;
        std::vector<nlohmann::json> expected;
        for (const nlohmann::json& cue : sent["cues"])
            if (cue["page"] == (*page ? page : "888"))
                expected.push_back(cue);
        std::ifstream file(srt);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);)
            lines.push_back(line);
        std::size_t at = 0;
        for (const nlohmann::json& cue : expected) {
            ASSERT_LT(at + 2, lines.size());
            int h1, m1, s1, ms1, h2, m2, s2, ms2;
            ASSERT_EQ(std::sscanf(lines[at + 1].c_str(), "%d:%d:%d,%d --> %d:%d:%d,%d", &h1, &m1, &s1, &ms1, &h2, &m2, &s2, &ms2), 8);
            EXPECT_NEAR(h1 * 3600 + m1 * 60 + s1 + ms1 / 1000.0, (cue["pts"].get<double>() - origin) / 90000, 0.04);
            EXPECT_NEAR(h2 * 3600 + m2 * 60 + s2 + ms2 / 1000.0, (cue["end_pts"].get<double>() - origin) / 90000, 0.04);
            at += 2;
            for (const nlohmann::json& text : cue["lines"])
                EXPECT_EQ(lines[at++], text.get<std::string>());
            ASSERT_LT(at, lines.size() + 1);
            ++at;   // the blank line after it
        }
        EXPECT_EQ(at, lines.size()) << "more cues than were sent";
    }
}

TEST(LumrxTeletextTest, BadInputIsSaid)
{
    int status = -1;
    EXPECT_NE(Teletext(kFolder + "teletext.ts 512 --page 123", &status).find("page 123 did not come"), std::string::npos);
    EXPECT_EQ(status, 1);
    EXPECT_NE(Teletext(kFolder + "teletext.ts 0x100", &status).find("no teletext on PID 256"), std::string::npos);
    EXPECT_EQ(status, 1);
    EXPECT_NE(Teletext(kFolder + "teletext.ts 512 --at 30", &status).find("past the end"), std::string::npos);
    EXPECT_EQ(status, 1);
    EXPECT_NE(Teletext(kFolder + "teletext.ts 512 --page 99", &status).find("a teletext page is 100 to 899"), std::string::npos);
    EXPECT_EQ(status, 2);
    // garbled packets and a jump in the times: the pages that came whole are there
    const std::string damaged = Teletext(kFolder + "teletext_damaged.ts 512 --page 889 --at 2", &status);
    EXPECT_EQ(status, 0) << damaged;
    EXPECT_NE(damaged.find("Déjà l'été à Genève."), std::string::npos) << damaged;
    EXPECT_NE(Teletext(kFolder + "teletext_damaged.ts 512 " + ::testing::TempDir() + "damaged.srt", &status, "subtitles")
                  .find("4 subtitles of page 888"), std::string::npos);
}

}  // namespace
