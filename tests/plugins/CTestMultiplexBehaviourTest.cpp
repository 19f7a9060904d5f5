// Over a scripted source on a manual clock.
#include "plugins/CTestMultiplexBehaviour.h"

#include "receiver/CDVBTransportStreamReceiver.h"
#include "platform/CManualClock.h"
#include "plugins/CDVBMultiplexDefinition.h"
#include "plugins/CLUMInputPlugin.h"
#include "tests/plugins/CHangingSource.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

namespace {

using B = CTestSectionBuilder;
constexpr std::int64_t kMs = 1000000;

struct COneSourcePlugin : CLUMInputPlugin
{
    CDVBTransportStreamSource* OpenMultiplex(CDVBMultiplexDefinition*) override { return m_source; }
    bool CloseMultiplex(CDVBTransportStreamSource*) override { return ++m_closed; }
    CDVBTransportStreamSource* m_source = nullptr;
    int m_closed = 0;
};

struct CNamedDefinition : CDVBMultiplexDefinition
{
    CString GetName() override { return "Mux A"; }
};

class CTestMultiplexBehaviourTest : public ::testing::Test
{
protected:
    // PAT and SDT of two services, as one read
    Bytes Services(BYTE sdtVersion, const std::string& second)
    {
        Bytes bytes;
        for (const Bytes& packet : B::Packetise(0x00, B::Long(0x00, 7, 0, 0, 0, B::PATBody({{1, 0x100}, {2, 0x200}})), m_pat))
            B::Append(bytes, packet);
        const Bytes services = B::Cat({B::SDTService(1, 4, false, B::ServiceDescriptor(1, "P", "One")),
                                       B::SDTService(2, 4, false, B::ServiceDescriptor(1, "P", second))});
        for (const Bytes& packet : B::Packetise(0x11, B::Long(0x42, 7, sdtVersion, 0, 0, B::SDTBody(9, services)), m_sdt))
            B::Append(bytes, packet);
        return bytes;
    }
    std::string Status() const { return m_behaviour.GetStatusText().Str(); }
    void Deliver(Bytes bytes)   // one read, then a second of time
    {
        m_source.AddStep(std::move(bytes));
        while (!m_source.m_drained.IsSet())
            ASSERT_TRUE(m_clock.Run(1, kMs, 1));
        ASSERT_TRUE(m_clock.Run(1000, kMs, 1));
    }

    BYTE m_pat = 0, m_sdt = 0;   // continuity counters
    CManualClock m_clock;
    CScriptedSource m_source;
    COneSourcePlugin m_plugin;
    CNamedDefinition m_definition;
    CTestMultiplexBehaviour m_behaviour{&m_plugin, &m_definition, &m_clock};
};

TEST_F(CTestMultiplexBehaviourTest, StatusTextsAndRowsFollowTheReception)
{
    EXPECT_EQ(m_behaviour.GetCaption().Str(), "Testing multiplex [Mux A]");
    EXPECT_EQ(Status(), "Tuning...");
    m_plugin.m_source = &m_source;
    m_behaviour.OnTimer();   // opens and starts within the tick
    EXPECT_EQ(Status(), "");
    ASSERT_TRUE(m_clock.WaitForWaiters(1));
    m_behaviour.OnTimer();
    EXPECT_EQ(Status(), "Looking for service information...");
    EXPECT_FALSE(m_behaviour.IsStatusWarning());

    ASSERT_TRUE(m_clock.Run(2000, kMs, 1));
    m_behaviour.OnTimer();
    EXPECT_EQ(Status(), "No data is being received 2.");
    EXPECT_TRUE(m_behaviour.IsStatusWarning());

    Deliver(Services(0, "Two"));
    m_behaviour.OnTimer();
    EXPECT_EQ(Status().rfind("Data is being received at ", 0), 0u) << Status();
    // the source says nothing of itself; the stream's own state follows
    EXPECT_NE(Status().find("second. (0 continuity errors, TR 101 290 first priority: "), std::string::npos) << Status();
    EXPECT_FALSE(m_behaviour.IsStatusWarning());
    ASSERT_EQ(m_behaviour.GetRows().size(), 2u);
    EXPECT_EQ(m_behaviour.GetRows()[1].second.Str(), "Two");

    Deliver(Services(1, "Deux"));
    m_behaviour.OnTimer();
    ASSERT_EQ(m_behaviour.GetRows().size(), 2u) << "one row a program, renamed in place";
    EXPECT_EQ(m_behaviour.GetRows()[1], std::make_pair(WORD(2), CString("Deux")));

    EXPECT_TRUE(m_behaviour.Close());
    EXPECT_EQ(m_plugin.m_closed, 1);
}

// A desktop host takes its locale from the environment; the rate still has a point.
TEST_F(CTestMultiplexBehaviourTest, TheRateHasAPointUnderALocaleOfCommas)
{
    const std::string folder = ::testing::TempDir() + "lumcore-locales";
    std::filesystem::create_directories(folder);
    const int made = std::system(("localedef -i de_DE -f UTF-8 " + folder + "/de_DE.UTF-8 >/dev/null 2>&1").c_str());
    ::setenv("LOCPATH", folder.c_str(), 1);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr)
        GTEST_SKIP() << "no German locale can be made here (localedef: " << made << ")";
    m_plugin.m_source = &m_source;
    m_behaviour.OnTimer();
    ASSERT_TRUE(m_clock.WaitForWaiters(1));
    Deliver(Services(0, "Two"));
    m_behaviour.OnTimer();
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(std::regex_match(Status(), std::regex("Data is being received at [0-9]+\\.[0-9]{2} megabits per second\\. \\(.*\\)")))
        << Status();
    EXPECT_TRUE(m_behaviour.Close());
}

TEST_F(CTestMultiplexBehaviourTest, AMultiplexThatDoesNotOpenSaysSoUntilClosed)
{
    for (int tick = 0; tick < 2; ++tick) {
        m_behaviour.OnTimer();
        EXPECT_EQ(Status(), "The multiplex could not be opened.");
        EXPECT_TRUE(m_behaviour.IsStatusWarning());
    }
    EXPECT_TRUE(m_behaviour.Close());
    EXPECT_EQ(m_plugin.m_closed, 0);
}

// Waits a second for the stop, as the dialog does, then takes the receiver down and closes.
TEST_F(CTestMultiplexBehaviourTest, AReceiverThatWillNotStopIsReportedAndStillClosed)
{
    CHangingSource hanging;
    m_plugin.m_source = &hanging;
    m_behaviour.OnTimer();
    ASSERT_TRUE(m_clock.WaitForWaiters(1));
    m_clock.Advance(CDVBTransportStreamReceiver::QuietPeriodMs * kMs);
    ASSERT_EQ(hanging.m_inRead.Wait(20000), WAIT_OBJECT_0);
    EXPECT_FALSE(m_behaviour.Close());
    EXPECT_FALSE(m_behaviour.IsOpen());
    EXPECT_EQ(m_plugin.m_closed, 1);
}

}  // namespace
