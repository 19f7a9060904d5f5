// Fed as the receiver feeds it, in a folder of the test's own.
#include "model/CDVBSICollector.h"

#include "core/CDVBRecordingParameters.h"
#include "core/CDVBTransportStreamSource.h"
#include "model/CDVBGuideStore.h"
#include "platform/TimeZone.h"
#include "tests/support/CFedReceiver.h"
#include "tests/support/CScriptedSource.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

using B = CTestSectionBuilder;

std::string ReadFile(const char* path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Runs the test in a fresh folder holding "epg", as a host's current directory.
class CDVBSICollectorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = std::filesystem::current_path();
        m_folder = std::filesystem::path(::testing::TempDir()) /
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder / "epg");
        std::filesystem::current_path(m_folder);
        TIME_ZONE_INFORMATION utc{};
        SetTimeZoneForTesting(&utc, TIME_ZONE_ID_UNKNOWN);
    }
    void TearDown() override
    {
        SetTimeZoneForTesting(nullptr, 0);
        std::filesystem::current_path(m_previous);
    }
    std::filesystem::path m_previous, m_folder;
    CDVBTransportStreamSource m_source;
    CFedReceiver m_receiver{&m_source, nullptr};
};

const char kEmpty[] = "<system>\n<transportstreams>\n</transportstreams>\n<services>\n</services>\n</system>\n";

}  // namespace

TEST_F(CDVBSICollectorTest, WritesEveryStreamAndServiceWithNowAndNextAsWellFormedXML)
{
    CDVBSICollector collector;
    EXPECT_EQ(ReadFile(CDVBSICollector::FileName), kEmpty);   // at once, six lines
    m_receiver.Start();
    m_receiver.SetSICollector(&collector);
    m_receiver.Send(0x0000, B::Long(0x00, 0x0401, 0, 0, 0, B::PATBody({{0, 0x10}, {7, 0x100}})));
    // a name holding markup, '&', a Latin-1 byte and the character-table byte 0x0B
    m_receiver.Send(0x0011, B::Long(0x42, 0x0401, 0, 0, 0, B::SDTBody(0x2233, B::Cat({
        B::SDTService(7, 4, false, B::ServiceDescriptor(1, "P", "\x0B<A&B \xE9>")),
        B::SDTService(9, 4, false, {})}))));
    m_receiver.Send(0x0011, B::Long(0x46, 0x0402, 0, 0, 0, B::SDTBody(0x2233, B::SDTService(12, 4, false, {}))));   // other
    const Bytes terrestrial = B::Descriptor(0x5A, {0x03, 0x5A, 0x4E, 0x90, 0x1F, 0x81, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
    m_receiver.Send(0x0010, B::Long(0x40, 0x3001, 0, 0, 0, B::Cat({{0xF0, 0x00, 0xF0, 0x13}, {0x04, 0x01, 0x22, 0x33, 0xF0, 0x0D},
                                                         terrestrial})));
    // 15 July 2004 (MJD 53201) 20:30 for 1:30, running; a running event of service 9 from a
    // schedule table takes its present slot too
    m_receiver.Send(0x0012, B::Long(0x4E, 7, 0, 0, 1, B::EITBody(0x0401, 0x2233, B::EITEvent(1, 53201, 0x203000, 0x013000,
                                                                              B::ShortEventDescriptor("eng", "News\x01", "Today")))));
    m_receiver.Send(0x0012, B::Long(0x50, 9, 0, 0, 0, B::EITBody(0x0401, 0x2233, B::EITEvent(2, 53201, 0x220000, 0x003000, {}))));
    collector.Update();
    const std::string xml = ReadFile(CDVBSICollector::FileName);
    EXPECT_NE(xml.find("\t<transportstream id=\"1026\">\t</transportstream>\n"), std::string::npos);
    EXPECT_NE(xml.find("\t<transportstream id=\"1025\">\t\t<terrestrial frequency=\"56250000\" bandwidth=\"8MHz\""),
              std::string::npos);   // the NIT's entry, 562.5 MHz in units of 10 Hz
    EXPECT_NE(xml.find("name=\"  A+B   \" sdttype"), std::string::npos) << xml;   // same length
    EXPECT_NE(xml.find("<service tsid=\"1026\" id=\"12\""), std::string::npos);
    EXPECT_NE(xml.find("<scheduleitem status=\"now\" startDate=\"2004/07/15\" startTime=\"20:30\" endDate=\"2004/07/15\" "
                       "endTime=\"22:00\" duration=\"1 hour, 30 mins\">\n\t\t\t<title>News </title>\n"
                       "\t\t\t<description>Today</description>\n\t\t</scheduleitem>\t</service>\n"),
              std::string::npos) << xml;
    EXPECT_NE(xml.find("<scheduleitem status=\"now\" startDate=\"2004/07/15\" startTime=\"22:00\""), std::string::npos);
    EXPECT_EQ(std::system(("xmllint --noout " + std::string(CDVBSICollector::FileName)).c_str()), 0) << xml;
    m_receiver.SetSICollector(nullptr);
}

TEST_F(CDVBSICollectorTest, WritesOnlyWhenEnabledAndChangedAndAtMostEveryFiveSeconds)
{
    CDVBSICollector collector;
    std::filesystem::remove(CDVBSICollector::FileName);
    auto written = [] { return std::filesystem::remove(CDVBSICollector::FileName); };
    m_receiver.Start();
    m_receiver.SetSICollector(&collector);
    m_receiver.Send(0x0000, B::Long(0x00, 1, 0, 0, 0, B::PATBody({{1, 0x100}})));
    m_receiver.OnEverySecond();
    EXPECT_FALSE(written()) << "updates disabled";
    collector.EnableUpdates(true);
    m_receiver.OnEverySecond();
    EXPECT_TRUE(written()) << "a pending change, on the first call";
    m_receiver.OnEverySecond();
    EXPECT_FALSE(written()) << "nothing new";
    m_receiver.Send(0x0000, B::Long(0x00, 1, 1, 0, 0, B::PATBody({{2, 0x200}})));
    for (int call = 2; call < 5; ++call) {
        m_receiver.OnEverySecond();
        EXPECT_FALSE(written()) << "call " << call;
    }
    m_receiver.OnEverySecond();
    EXPECT_TRUE(written()) << "the fifth call";

    std::filesystem::remove_all("epg");   // the folder gone: nothing written, no new attempt
    collector.Update();
    std::filesystem::create_directory("epg");
    m_receiver.OnEverySecond();
    EXPECT_FALSE(written());
    m_receiver.SetSICollector(nullptr);
}

TEST_F(CDVBSICollectorTest, AReaderNeverSeesAHalfWrittenFile)
{
    CDVBSICollector collector;
    for (WORD number = 1; number < 400; ++number)
        collector.GetProgramsList()->GetOrCreateProgram(number);
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i)
            collector.Update();
        done = true;
    });
    int reads = 0, partial = 0;
    for (; !done; ++reads) {
        const std::string xml = ReadFile(CDVBSICollector::FileName);
        if (xml.rfind("<system>\n", 0) != 0 || xml.size() < 10 || xml.substr(xml.size() - 10) != "</system>\n")
            ++partial;
    }
    writer.join();
    EXPECT_GT(reads, 0);
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";
}

// Beside the real thread on the system clock, read from this one: the sanitizer run looks for races.
TEST_F(CDVBSICollectorTest, RecordsCollectsAndGuidesThroughAHundredStartStopRounds)
{
    Bytes stream;
    BYTE continuity[3] = {};
    const std::pair<WORD, Bytes> sections[] = {
        {0x0000, B::Long(0x00, 1, 0, 0, 0, B::PATBody({{7, 0x100}}))},
        {0x0011, B::Long(0x42, 1, 0, 0, 0, B::SDTBody(1, B::SDTService(7, 4, false, B::ServiceDescriptor(1, "P", "N"))))},
        {0x0012, B::Long(0x4E, 7, 0, 0, 1, B::EITBody(1, 1, B::EITEvent(1, 53201, 0x203000, 0x013000, {})))}};
    for (std::size_t i = 0; i < 3; ++i)
        for (const Bytes& packet : B::Packetise(sections[i].first, sections[i].second, continuity[i]))
            B::Append(stream, packet);
    CDVBSICollector collector;
    collector.EnableUpdates(true);
    CDVBGuideStore guide;
    for (int round = 0; round < 100; ++round) {
        CScriptedSource source;
        source.AddStep(stream);
        CDVBTransportStreamReceiver receiver(&source, nullptr);
        receiver.AddTableListener(&guide);   // as lumrx's guide command does
        receiver.SetSICollector(&collector);
        CDVBRecordingParameters recording;
        recording.m_fileName = "/dev/null";
        ASSERT_TRUE(receiver.StartRecording(&recording));
        ASSERT_TRUE(receiver.Initialise());
        receiver.Start();
        collector.Update();
        guide.GetEvents();
        ASSERT_EQ(source.m_drained.Wait(10000), WAIT_OBJECT_0) << round;
        receiver.Stop();
        ASSERT_TRUE(receiver.WaitForStop(10000));
        receiver.StopRecording();
        receiver.DeInitialise();
        receiver.SetSICollector(nullptr);
    }
    EXPECT_EQ(guide.GetEventCount(), 1u);
    EXPECT_NE(ReadFile(CDVBSICollector::FileName).find("name=\"N\""), std::string::npos);
}
