// lumview started as a person or a bug report would: offscreen, on the bundled sample,
// saving a screenshot of its window whose picture is the one FFmpeg decodes, with its
// playback statistics; in full screen; and on a multiplex that does not exist.
#include "tests/support/CommandOutput.h"
#include "tests/support/Psnr.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace {

std::string Lumview(const std::string& arguments)
{
    // settings go to a home of the test's own, not the user's
    const std::string home = ::testing::TempDir() + "lumview-home";
    std::filesystem::create_directories(home);
    return "HOME=" + home + " XDG_CONFIG_HOME=" + home + " QT_QPA_PLATFORM=offscreen " LUMVIEW_PATH " " + arguments + " 2>&1";
}

TEST(LumviewTest, ShowsTheFirstServicesPictureAsFFmpegDecodesItAndRefusesAMultiplexThatDoesNotExist)
{
    const std::string shot = LUM_SCREENSHOT_FOLDER "/lumview.png";
    std::filesystem::remove(shot);
    std::filesystem::remove_all(::testing::TempDir() + "lumview-home");   // the default window size
    const std::string statsFile = ::testing::TempDir() + "lumview_stats.json";
    const auto [status, out] = CommandOutput(Lumview("--screenshot " + shot + " --after 3 --stats " + statsFile + " " LUM_SAMPLE));
    ASSERT_EQ(status, 0) << out;
    const nlohmann::json stats = nlohmann::json::parse(std::ifstream(statsFile), nullptr, false);
    ASSERT_TRUE(stats.is_object()) << statsFile;
    // at least a third of the pictures of the 3 s after the first (a loaded or sanitised machine
    // starts late, and the window takes its time to show under the race checker); each on time
    const double shownFor = 3000 - stats["first_picture_ms"].get<double>();
    EXPECT_GT(stats["video"]["presented"].get<int>(), std::max(10.0, shownFor / 40 / 3)) << stats;
    EXPECT_EQ(stats["video"]["repeated"], 0) << stats;
    EXPECT_EQ(stats["video"]["dropped"], 0) << stats;
    std::smatch picture;
    ASSERT_TRUE(std::regex_search(out, picture, std::regex("picture of PTS (\\d+) at (\\d+),(\\d+) (\\d+)x(\\d+)"))) << out;
    const std::string pts = picture[1], x = picture[2], y = picture[3], w = picture[4], h = picture[5];
    // the pane cut out of the screenshot, against FFmpeg's picture of that time scaled to it
    const std::string dir = ::testing::TempDir(), pane = dir + "lumview_pane.png", theirs = dir + "lumview_ffmpeg.png";
    ASSERT_EQ(std::system(("ffmpeg -v error -y -i " + shot + " -vf crop=" + w + ":" + h + ":" + x + ":" + y + " " + pane).c_str()), 0);
    ASSERT_EQ(std::system(("ffmpeg -v error -y -copyts -i " LUM_SAMPLE " -map 0:p:1001:v -vf 'select=eq(pts\\," + pts +
                           "),scale=" + w + ":" + h + ":flags=bicubic' -frames:v 1 " + theirs).c_str()), 0);
    EXPECT_GE(Psnr(pane, theirs), 30.0) << out;

    const auto [fullStatus, full] = CommandOutput(Lumview("--full-screen --screenshot " + shot + " --after 2 " LUM_SAMPLE));
    std::smatch alone;   // the picture alone: as wide or as high as the window, in its middle
    ASSERT_TRUE(std::regex_search(full, alone, std::regex(": (\\d+)x(\\d+) picture of PTS \\d+ at (\\d+),(\\d+) (\\d+)x(\\d+)"))) << full;
    const int W = std::stoi(alone[1]), H = std::stoi(alone[2]), X = std::stoi(alone[3]), Y = std::stoi(alone[4]);
    const int pictureW = std::stoi(alone[5]), pictureH = std::stoi(alone[6]);
    EXPECT_TRUE((pictureW >= W - 2 && std::abs(2 * Y + pictureH - H) <= 2) || (pictureH >= H - 2 && std::abs(2 * X + pictureW - W) <= 2)) << full;

    const auto [missing, said] = CommandOutput(Lumview("--screenshot /dev/null --after 0 no-such-multiplex"));
    EXPECT_EQ(missing, 4) << said;
    EXPECT_NE(said.find("no multiplex definition, file or URL"), std::string::npos) << said;
}

// On a stream with DVB subtitles and teletext (made by tests/streams/dvbsub/make_dvbsub.py):
// the subtitles asked for drawn where they were composed, scaled with the picture, and kept
// for the service at the next start; the teletext view at a page.
TEST(LumviewTest, SubtitlesAskedForAreDrawnAndRememberedAndTeletextIsShown)
{
    const std::string dir = ::testing::TempDir() + "lumview_dvbsub/";
    ASSERT_EQ(std::system(("python3 " LUM_SOURCE_DIR "/tests/streams/dvbsub/make_dvbsub.py " + dir).c_str()), 0);
    const nlohmann::json drawn = nlohmann::json::parse(std::ifstream(dir + "dvbsub.json"));
    const std::string stream = dir + "dvbsub.ts", statsFile = dir + "stats.json";
    std::filesystem::remove_all(::testing::TempDir() + "lumview-home");
    const std::string shot = LUM_SCREENSHOT_FOLDER "/lumview_subtitles.png";
    const auto [probed, first] = CommandOutput("ffprobe -v error -select_streams v -show_entries packet=pts -of csv=p=0 -read_intervals %+#1 " + stream);
    ASSERT_EQ(probed, 0);
    for (const char* asked : {"--subtitles deu ", ""}) {   // the second start remembers the first's
        SCOPED_TRACE(asked);
        // the second and third German cues follow each other from 2.4 to 5 s into the pictures
        const auto [status, out] = CommandOutput("LANGUAGE= LANG=fr_FR.UTF-8 " + Lumview(std::string(asked) + "--screenshot " + shot +
                                                 " --after 4 --stats " + statsFile + " " + stream));
        ASSERT_EQ(status, 0) << out;
        std::smatch at;
        ASSERT_TRUE(std::regex_search(out, at, std::regex("PTS (\\d+) at (\\d+),(\\d+) (\\d+)x\\d+"))) << out;
        const double seconds = (std::stod(at[1]) - std::stod(first)) / 90000;
        const nlohmann::json* cue = nullptr;   // the cue of the picture shown, if any
        for (const nlohmann::json& each : drawn["cues"]["deu"])
            if (each[0].get<double>() <= seconds && seconds < each[1].get<double>())
                cue = &each;
        std::smatch subtitle;
        const bool shown = std::regex_search(out, subtitle, std::regex("subtitle at (\\d+),(\\d+) (\\d+)x(\\d+)"));
        ASSERT_EQ(shown, cue != nullptr) << out;
        if (cue) {
            const double scale = std::stod(at[4]) / drawn["width"].get<double>();
            EXPECT_NEAR(std::stod(subtitle[1]), std::stod(at[2]) + (*cue)[2].get<double>() * scale, 1) << out;
            EXPECT_NEAR(std::stod(subtitle[2]), std::stod(at[3]) + (*cue)[3].get<double>() * scale, 1) << out;
            EXPECT_NEAR(std::stod(subtitle[3]), (*cue)[4].get<double>() * scale, 1) << out;
            EXPECT_NEAR(std::stod(subtitle[4]), (*cue)[5].get<double>() * scale, 1) << out;
        }
        const nlohmann::json stats = nlohmann::json::parse(std::ifstream(statsFile), nullptr, false);
        EXPECT_EQ(stats["subtitle_track"]["pid"], 0x103) << stats;
        if (stats["sound_track"].is_object()) {   // without a sound server there is none
            EXPECT_EQ(stats["sound_track"]["pid"], 0x102) << stats;   // the desktop's language
        }
    }
    const std::string page = LUM_SCREENSHOT_FOLDER "/lumview_teletext.png";
    const auto [status, out] = CommandOutput(Lumview("--teletext 100 --screenshot " + page + " --after 2.5 " + stream));
    ASSERT_EQ(status, 0) << out;
    // the page's header and title (subpage 1 or 2, whichever came last) in the pane's top
    const auto [cropped, colours] = CommandOutput("ffmpeg -v error -i " + page + " -vf \"crop=iw/2:ih/4:iw/2:ih/8,format=rgb24\" -f rawvideo -");
    ASSERT_EQ(cropped, 0);
    int lit = 0;
    for (std::size_t i = 0; i + 2 < colours.size(); i += 3)
        lit += std::max({static_cast<unsigned char>(colours[i]), static_cast<unsigned char>(colours[i + 1]),
                         static_cast<unsigned char>(colours[i + 2])}) > 200;
    EXPECT_GT(lit, 1000) << page;
}

}  // namespace
