// lumrx as a new user meets it: the README's examples as printed, nothing read written over,
// definitions added and removed with their mistakes named, and a live block that fits its
// terminal. Each runs on a copy of lumrx's folder, so that the definitions it changes are its own.
#include "tests/support/CommandOutput.h"

#include "peer_streams.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

namespace {

struct Outcome { int status; std::string out; };

class LumrxSafetyTest : public ::testing::Test
{
protected:
    // lumrx and its plug-ins copied to a folder of their own, with a definition of the sample
    // that plays as fast as it is read; commands run in `m_work`.
    void SetUp() override
    {
        m_root = ::testing::TempDir() + "lumrx_safety_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_bin = m_root + "/bin", m_work = m_root + "/work";
        const std::string bin = std::string(LUMRX_PATH).substr(0, std::string(LUMRX_PATH).rfind('/'));
        ASSERT_EQ(std::system(("rm -rf " + m_root + " && mkdir -p " + m_work + " && cp -r " + bin + " " + m_bin +
                               " && ln -s " LUM_SAMPLE_DIR " " + m_work + "/samples && ln -s " LUM_SOURCE_DIR "/tests " + m_work + "/tests").c_str()), 0);
        std::ofstream(m_bin + "/LUMFileInput Multiplexes.txt") << "Sample, " LUM_SAMPLE_DIR "/sample.ts, fast, off\n";
    }
    void TearDown() override { std::system(("rm -rf " + m_root).c_str()); }

    Outcome Lumrx(const std::string& arguments) const { return Shell("lumrx " + arguments); }
    // No sound server: `play` examples run beside the tests that listen to the sink.
    Outcome Shell(const std::string& line) const
    {
        const auto [status, out] = CommandOutput("cd " + m_work + " && export PATH=" + m_bin +
                                                 ":$PATH PULSE_SERVER=unix:/nonexistent && (" + line + ") 2>&1");
        return {status, out};
    }
    std::string Definitions() const
    {
        std::ifstream file(m_bin + "/LUMFileInput Multiplexes.txt");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::string m_root, m_bin, m_work;
};

// Every lumrx line of the README's command block, as printed, succeeds.
TEST_F(LumrxSafetyTest, EveryReadmeExampleRunsAsPrinted)
{
    std::ifstream readme(LUM_SOURCE_DIR "/README.md");
    std::string line;
    int examples = 0;
    while (std::getline(readme, line)) {
        if (line.rfind("lumrx ", 0) != 0)
            continue;
        const std::string command = line.substr(0, line.find(" #"));
        const Outcome run = Shell(command);
        EXPECT_EQ(run.status, 0) << command << "\n" << run.out;
        ++examples;
    }
    EXPECT_GE(examples, 15);
    struct stat info{};
    for (const char* made : {"out.ts", "one.ts", "guide.xml", "video.m2v", "picture.png", "epg/epg.xml"})
        EXPECT_TRUE(::stat((m_work + "/" + made).c_str(), &info) == 0 && info.st_size > 0) << made;
}

// No command writes over the file it reads, reached by its name, a link or a definition;
// the file is left as it was.
TEST_F(LumrxSafetyTest, NothingReadIsWrittenOver)
{
    ASSERT_EQ(Shell("cp " LUM_PEER_THREE_PROGRAMS_TS " in.ts && ln -s in.ts link.ts && mkdir epg && cp in.ts epg/epg.xml").status, 0);
    ASSERT_EQ(Lumrx("add Mine in.ts").status, 0);
    for (const std::string command : {"record in.ts in.ts", "record --simulate in.ts link.ts", "record Mine in.ts",
                                      "extract in.ts 0x101 link.ts", "xmltv Mine -o in.ts", "snapshot in.ts 102 in.ts",
                                      "epg epg/epg.xml"}) {
        const Outcome run = Lumrx(command);
        EXPECT_EQ(run.status, 2) << command << "\n" << run.out;
        EXPECT_NE(run.out.find("does not write over what it reads"), std::string::npos) << command << "\n" << run.out;
    }
    EXPECT_EQ(std::system(("cmp -s " + m_work + "/in.ts " LUM_PEER_THREE_PROGRAMS_TS " && cmp -s " + m_work +
                           "/epg/epg.xml " LUM_PEER_THREE_PROGRAMS_TS).c_str()), 0);
}

// add refuses what it cannot use and says what it did; remove takes one of two alike; list
// marks what cannot be opened.
TEST_F(LumrxSafetyTest, DefinitionsAreCheckedAndEachChangeIsSaid)
{
    const struct { const char* command; int status; const char* message; } cases[] = {
        {"add Sample samples/sample.ts", 2, "already called \"Sample\""},
        {"add Two samples/sample.ts sometimes", 2, "Pacing cannot be \"sometimes\""},
        {"add Two samples/sample.ts pcr maybe", 2, "Loop cannot be \"maybe\""},
        {"add Two samples/sample.ts pcr on", 0, "samples/sample.ts, pcr, on"},
    };
    for (const auto& c : cases) {
        const Outcome run = Lumrx(c.command);
        EXPECT_EQ(run.status, c.status) << c.command << "\n" << run.out;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.command << "\n" << run.out;
    }
    EXPECT_NE(Definitions().find("Two, " LUM_SAMPLE_DIR "/sample.ts, pcr, on"), std::string::npos)
        << "a path is kept as the user meant it, from where lumrx ran\n" << Definitions();
    std::ofstream(m_bin + "/LUMFileInput Multiplexes.txt", std::ios::app) << "Two, /no/such.ts, fast, off\n";
    const Outcome listed = Lumrx("list");
    EXPECT_NE(listed.out.find("Two, /no/such.ts, fast, off    # "), std::string::npos) << listed.out;
    const Outcome first = Lumrx("remove Two"), second = Lumrx("remove Two");
    EXPECT_EQ(first.status, 0);
    EXPECT_NE(first.out.find("1 more called \"Two\" remains"), std::string::npos) << first.out;
    EXPECT_NE(second.out.find("removed"), std::string::npos) << second.out;
    EXPECT_EQ(Definitions().find("Two"), std::string::npos) << Definitions();
}

// On a terminal of 40 by 5 the live block never wraps and never grows past the window.
TEST_F(LumrxSafetyTest, TheLiveBlockFitsItsTerminal)
{
    const Outcome run = Shell("script -qec 'stty cols 40 rows 5; lumrx test " LUM_PEER_THREE_PROGRAMS_TS
                          " --simulate --seconds 3' /dev/null");
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string plain = std::regex_replace(run.out, std::regex("\x1B\\[[0-9]*[FK]|\r"), "");
    std::istringstream lines(plain);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        int characters = 0;
        for (char c : line)
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_LT(characters, 40) << line;
        ++count;
    }
    EXPECT_GT(count, 4);
    EXPECT_NE(plain.find("... 2 more services"), std::string::npos) << plain;
}

}  // namespace
