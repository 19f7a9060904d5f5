// DVB subtitles on a stream FFmpeg encoded (tests/streams/dvbsub/make_dvbsub.py): the cues
// lumrx finds against those ffprobe finds, a snapshot with subtitles against FFmpeg's own
// overlay, the tracks play picks, and damaged subtitle packets.
#include "tests/support/CommandOutput.h"
#include "tests/support/PeerJson.h"
#include "tests/support/Psnr.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using json = nlohmann::json;

struct Cue
{
    long long start, end;   // 90 kHz
};

class LumrxSubtitlesTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // ctest runs each test in a process of its own, side by side: a folder each
        s_dir = ::testing::TempDir() + "dvbsub_" + std::to_string(::getpid()) + "/";
        s_made = std::system(("python3 " LUM_SOURCE_DIR "/tests/streams/dvbsub/make_dvbsub.py " + s_dir).c_str()) == 0;
        s_stream = s_dir + "dvbsub.ts";
    }
    static void TearDownTestSuite() { std::system(("rm -rf " + s_dir).c_str()); }
    void SetUp() override
    {
        if (!s_made)
            GTEST_FAIL() << "make_dvbsub.py could not make the stream (FFmpeg is needed)";
    }

    static std::pair<int, std::string> Lumrx(const std::string& arguments)
    {
        return CommandOutput(LUMRX_PATH " " + arguments + " 2>&1");
    }

    // ffprobe's subtitle frames as cues: a frame with regions starts one, which ends at the
    // next frame or at its time-out.
    static std::vector<Cue> FfprobeCues(const std::string& stream, int index)
    {
        const auto [status, out] = CommandOutput("ffprobe -v error -of json -show_frames -select_streams s:" +
                                                 std::to_string(index) + " " + stream);
        const json frames = json::parse(out, nullptr, false);
        std::vector<Cue> cues;
        bool open = false;
        for (const json& frame : frames.value("frames", json::array())) {
            const long long pts = frame["pts"].get<long long>() * 9 / 100;   // from microseconds
            if (open && cues.back().end > pts)
                cues.back().end = pts;
            open = frame["num_rects"].get<int>() > 0;
            if (open)
                cues.push_back({pts, pts + frame["end_display_time"].get<long long>() * 90});
        }
        return cues;
    }

    static int FfprobeFrames(const std::string& stream, int index)
    {
        const auto [status, out] = CommandOutput("ffprobe -v error -of csv=p=0 -show_frames -show_entries frame=pts -select_streams s:" +
                                                 std::to_string(index) + " " + stream + " | grep -c .");
        return status == 0 ? std::stoi(out) : -1;
    }

    static std::string s_dir;
    static std::string s_stream;
    static bool s_made;
};

std::string LumrxSubtitlesTest::s_dir;
std::string LumrxSubtitlesTest::s_stream;
bool LumrxSubtitlesTest::s_made = false;

// Every cue ffprobe finds, at its times to the tick, each picture where and as large as the
// script drew it; the display definition's frame size comes with them.
TEST_F(LumrxSubtitlesTest, CuesAreTheOnesFfprobeFinds)
{
    const json drawn = ReadJson(s_dir + "dvbsub.json");
    int index = 0;
    for (const char* language : {"deu", "fra"}) {
        SCOPED_TRACE(language);
        const std::string folder = s_dir + "cues_" + language;
        std::system(("rm -rf " + folder).c_str());
        const auto [status, said] = Lumrx("subtitles " + s_stream + " " + std::to_string(0x103 + index) + " " + folder);
        ASSERT_EQ(status, 0) << said;
        const json written = ReadJson(folder + "/cues.json");
        EXPECT_EQ(written["frame"]["width"], 1280);
        EXPECT_EQ(written["frame"]["height"], 720);
        const std::vector<Cue> expected = FfprobeCues(s_stream, index++);
        ASSERT_EQ(written["cues"].size(), expected.size());
        ASSERT_EQ(expected.size(), drawn["cues"][language].size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const json& cue = written["cues"][i];
            EXPECT_NEAR(cue["start_pts"].get<double>(), expected[i].start, 1) << i;
            EXPECT_NEAR(cue["end_pts"].get<double>(), expected[i].end, 1) << i;
            const json& box = drawn["cues"][language][i];
            EXPECT_EQ(cue["x"], box[2]);
            EXPECT_EQ(cue["y"], box[3]);
            EXPECT_EQ(cue["width"], box[4]);
            EXPECT_EQ(cue["height"], box[5]);
            std::ifstream png(folder + "/" + cue["file"].get<std::string>(), std::ios::binary);
            EXPECT_TRUE(png.good()) << cue["file"];
        }
    }
    // a second run does not write over the first
    const auto [status, said] = Lumrx("subtitles " + s_stream + " 0x103 " + s_dir + "cues_deu");
    EXPECT_NE(status, 0);
    EXPECT_NE(said.find("already holds subtitles"), std::string::npos) << said;
}

// The picture with a subtitle drawn in is FFmpeg's overlay of that subtitle on that frame,
// over the subtitle's rectangle, and the same as without it elsewhere.
TEST_F(LumrxSubtitlesTest, SnapshotDrawsTheSubtitleAsFfmpegOverlaysIt)
{
    const json drawn = ReadJson(s_dir + "dvbsub.json");
    const auto [probed, first] = CommandOutput("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 -read_intervals %+#1 " + s_stream);
    ASSERT_EQ(probed, 0);
    const double firstPicture = std::stod(first) / 90000;
    for (const int index : {0, 1}) {   // the first two German cues: another colour and place
        SCOPED_TRACE(index);
        const json& cue = drawn["cues"]["deu"][index];
        const double at = (cue[0].get<double>() + cue[1].get<double>()) / 2;   // its middle
        const std::string name = std::to_string(index), ours = s_dir + "ours" + name + ".png", theirs = s_dir + "theirs" + name + ".png";
        // the stream's times are the script's, put off by the first picture's
        const auto [status, said] = Lumrx("snapshot " + s_stream + " 1 " + ours + " --at " + std::to_string(at) + " --subtitles deu");
        ASSERT_EQ(status, 0) << said;
        const std::string overlay = "ffmpeg -v error -y -copyts -i " + s_stream + " -filter_complex \"[0:v][0:s:0]overlay,select='gte(t\\," +
                                    std::to_string(firstPicture + at - 0.001) + ")'[v]\" -map \"[v]\" -frames:v 1 -update 1 " + theirs;
        ASSERT_EQ(std::system(overlay.c_str()), 0);
        const std::string crop = "crop=" + std::to_string(cue[4].get<int>()) + ":" + std::to_string(cue[5].get<int>()) +
                                 ":" + std::to_string(cue[2].get<int>()) + ":" + std::to_string(cue[3].get<int>());
        for (const std::string& picture : {ours, theirs})
            ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + picture + " -vf " + crop + " " + picture + ".box.png").c_str()), 0);
        EXPECT_GE(Psnr(ours + ".box.png", theirs + ".box.png"), 30);
        EXPECT_GE(Psnr(ours, theirs), 30);
    }
}

// The sound and subtitles asked for, by language or teletext page, each subtitle decoded;
// the tracks as services lists them.
TEST_F(LumrxSubtitlesTest, PlayPicksTheTracksAsked)
{
    const auto [listed, services] = CommandOutput(LUMRX_PATH " services --json " + s_stream);
    ASSERT_EQ(listed, 0);
    const json listing = json::parse(services);
    std::vector<std::string> tracks;
    for (const json& track : listing["services"][0]["tracks"])
        tracks.push_back(track["kind"].get<std::string>() + " " + track["language"].get<std::string>() +
                         (track.value("hard_of_hearing", false) ? " hoh" : "") + (track.contains("page") ? " " + std::to_string(track["page"].get<int>()) : ""));
    EXPECT_EQ(tracks, (std::vector<std::string>{"sound deu", "sound fra", "subtitles deu", "subtitles fra hoh",
                                                "teletext deu 100", "teletext subtitles deu 888", "teletext subtitles fra 889"}));
    const std::string stats = s_dir + "play.json";
    const auto [status, said] = Lumrx("play " + s_stream + " 1 --no-video --audio-out null --audio fra --subtitles deu --stats " + stats);
    ASSERT_EQ(status, 0) << said;
    const json played = ReadJson(stats);
    EXPECT_EQ(played["sound_track"]["pid"], 0x102);
    EXPECT_EQ(played["subtitle_track"]["pid"], 0x103);   // DVB subtitles before teletext
    EXPECT_EQ(played["subtitles_shown"], FfprobeFrames(s_stream, 0));
    // French: the teletext page before the DVB subtitles for the hard of hearing; the first sound
    const auto [frenchStatus, frenchSaid] = Lumrx("play " + s_stream + " 1 --no-video --audio-out null --seconds 3 --subtitles fra --stats " + stats);
    ASSERT_EQ(frenchStatus, 0) << frenchSaid;
    const json french = ReadJson(stats);
    EXPECT_EQ(french["subtitle_track"]["description"], "fra, teletext 889");
    EXPECT_EQ(french["sound_track"]["pid"], 0x101);
    // a teletext page no descriptor names
    const auto [pageStatus, pageSaid] = Lumrx("play " + s_stream + " 1 --no-video --audio-out null --seconds 3 --subtitles 777 --stats " + stats);
    ASSERT_EQ(pageStatus, 0) << pageSaid;
    EXPECT_EQ(ReadJson(stats)["subtitle_track"]["description"], "deu, teletext 777");
}

// Subtitle packets of garbage, and segments cut short: what can be read is, the rest is
// said, and the picture is still saved.
TEST_F(LumrxSubtitlesTest, DamagedSubtitlesAreSaidAndThePictureGoesOn)
{
    std::ifstream in(s_stream, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unsigned seed = 1;
    int damaged = 0;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
        const int pid = (bytes[at + 1] & 0x1F) << 8 | static_cast<unsigned char>(bytes[at + 2]);
        if (pid != 0x103 || ++damaged % 2)
            continue;   // every other packet of the German subtitles: garbage after the header
        for (std::size_t i = at + 4; i < at + 188; ++i)
            bytes[i] = char((seed = seed * 1103515245 + 12345) >> 16);
    }
    const std::string broken = s_dir + "damaged.ts";
    std::ofstream(broken, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    const std::string folder = s_dir + "damaged_cues";
    std::system(("rm -rf " + folder).c_str());
    const auto [status, written] = Lumrx("subtitles " + broken + " 0x103 " + folder);
    EXPECT_TRUE(status == 0 || written.find("neither teletext nor DVB subtitles") != std::string::npos) << written;
    const auto [snapshot, shown] = Lumrx("snapshot " + broken + " 1 " + s_dir + "damaged.png --at 1 --subtitles deu");
    EXPECT_EQ(snapshot, 0) << shown;
    const auto [played, said] = Lumrx("play " + broken + " 1 --no-video --audio-out null --subtitles deu");
    EXPECT_EQ(played, 0) << said;
    EXPECT_NE(said.find("damaged packets left out"), std::string::npos) << said;
    // a PID that is not subtitles at all
    const auto [video, onVideo] = Lumrx("subtitles " + s_stream + " 0x100 " + s_dir + "video_cues");
    EXPECT_NE(video, 0);
    EXPECT_NE(onVideo.find("PID 256 of " + s_stream + " carries neither teletext nor DVB subtitles"), std::string::npos) << onVideo;
}

}  // namespace
