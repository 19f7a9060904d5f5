// lumview started as a person or a bug report would: offscreen, on the bundled sample,
// saving a screenshot of its window; and on a multiplex that does not exist.
#include "tests/support/CommandOutput.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::string Lumview(const std::string& arguments)
{
    // settings go to a home of the test's own, not the user's
    const std::string home = ::testing::TempDir() + "lumview-home";
    std::filesystem::create_directories(home);
    return "HOME=" + home + " XDG_CONFIG_HOME=" + home + " QT_QPA_PLATFORM=offscreen " LUMVIEW_PATH " " + arguments + " 2>&1";
}

TEST(LumviewTest, SavesAScreenshotOfTheSampleAndRefusesAMultiplexThatDoesNotExist)
{
    const std::string shot = LUM_SCREENSHOT_FOLDER "/lumview.png";
    std::filesystem::remove(shot);
    const auto [status, out] = CommandOutput(Lumview("--screenshot " + shot + " --after 3 " LUM_SAMPLE));
    EXPECT_EQ(status, 0) << out;
    std::ifstream png(shot, std::ios::binary);
    char signature[8] = {};
    png.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG") << shot;

    const auto [missing, said] = CommandOutput(Lumview("--screenshot /dev/null --after 0 no-such-multiplex"));
    EXPECT_EQ(missing, 4) << said;
    EXPECT_NE(said.find("no multiplex definition, file or URL"), std::string::npos) << said;
}

}  // namespace
