// lumview started as a person or a bug report would: offscreen, on the bundled sample,
// saving a screenshot of its window whose picture is the one FFmpeg decodes, with its
// playback statistics; in full screen; and on a multiplex that does not exist.
#include "tests/support/CommandOutput.h"
#include "tests/support/Psnr.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

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
    EXPECT_GT(stats["video"]["presented"].get<int>(), 25) << stats;
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

}  // namespace
