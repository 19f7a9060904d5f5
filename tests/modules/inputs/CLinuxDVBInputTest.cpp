// The Linux DVB input plug-in through libdvbv5 itself, against device nodes that a library
// of the tests emulates (tests/support/fakedvb): a frontend that logs what it is sent and
// locks on the frequencies a test names, a demux, and a DVR that serves a committed
// peer-made stream. What the frontend receives is compared with what dvbv5-zap sends it.
#include "core/CDVBTransportStreamSource.h"
#include "modules/inputs/dvb/CLibDVBv5Device.h"
#include "modules/inputs/dvb/CLinuxDVBInputPlugin.h"
#include "modules/inputs/dvb/CLinuxDVBMultiplexDefinition.h"
#include "modules/inputs/dvb/CLinuxDVBScanTable.h"
#include "tests/support/CRecoveryRun.h"
#include "tests/support/CommandOutput.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;
using Lines = std::vector<std::string>;
using E = CLUMInputPluginExtension;

Lines SplitLines(const std::string& text)
{
    std::istringstream in(text);
    Lines lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Status(CDVBTransportStreamSource* source)
{
    CString status;
    source->GetStatus(status);
    return status.Str();
}

// An adapter of emulated devices in a folder of the test's own; settings go through the
// environment, so that dvbv5-zap and lumrx, run from here, meet the same tuner.
class CLinuxDVBInputPluginTest : public ::testing::Test
{
protected:
    CLinuxDVBInputPluginTest()
        : m_root(::testing::TempDir() + "fakedvb_" + ::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
        std::system(("rm -rf '" + m_root + "' && mkdir -p '" + m_root + "/adapter0' && cd '" + m_root +
                     "/adapter0' && touch frontend0 demux0 dvr0").c_str());
        ::setenv("LUM_FAKE_DVB_ROOT", m_root.c_str(), 1);
        ::setenv("LUM_FAKE_DVB_LOG", (m_root + "/log").c_str(), 1);
        ::setenv("LUM_FAKE_DVB_STREAM", LUM_STREAM, 1);
        for (const char* name : {"LUM_FAKE_DVB_SYSTEMS", "LUM_FAKE_DVB_LOCK", "LUM_FAKE_DVB_STATS",
                                 "LUM_FAKE_DVB_STATUS_FAILURES", "LUM_FAKE_DVB_OVERFLOW_AT", "LUM_FAKE_DVB_LOCK_LOSS",
                                 "LUM_FAKE_DVB_SERVED"})
            ::unsetenv(name);
        m_plugin.SetDeviceFactory([this] { return std::make_unique<CLibDVBv5Device>(m_root); });
        m_plugin.SetTimeouts(200, 10000);
    }
    ~CLinuxDVBInputPluginTest() override
    {
        m_plugin.DeInitialise();
        ::unsetenv("LUM_FAKE_DVB_ROOT");
        std::system(("rm -rf '" + m_root + "'").c_str());
    }

    // The log lines since the last call; with `frontend`, only what frontend0 was told to do.
    Lines TakeLog(bool frontend = false)
    {
        std::ifstream file(m_root + "/log");
        Lines lines;
        for (std::string line; std::getline(file, line);)
            if (!frontend || line.rfind("adapter0/frontend0 FE_", 0) == 0)
                lines.push_back(frontend ? line.substr(19) : line);
        std::ofstream(m_root + "/log", std::ios::trunc);
        return lines;
    }
    // What dvbv5-zap sends for the entry of `frequency` in `table`.
    Lines ZapSends(const std::string& table, std::uint32_t frequency, const std::string& satellite)
    {
        TakeLog();
        const auto [status, out] = CommandOutput("LD_PRELOAD=" LUM_FAKE_DVB_LIBRARY " dvbv5-zap " + satellite + " -c " +
                                                 table + " -x " + std::to_string(frequency) + " 2>&1");
        EXPECT_EQ(status, 0) << out;
        return TakeLog(true);
    }
    // What the plug-in sends for the same entry, as a scan would have read it.
    Lines WeSend(const std::string& table, std::uint32_t frequency, int satelliteNumber)
    {
        std::vector<CLinuxDVBTuning> tunings;
        EXPECT_TRUE(CLinuxDVBScanTable::Read(table, tunings));
        CLinuxDVBMultiplexDefinition definition;
        for (const CLinuxDVBTuning& tuning : tunings)
            if (tuning.m_frequency == frequency)
                definition.m_tuning = tuning;
        EXPECT_EQ(definition.m_tuning.m_frequency, frequency) << table;
        definition.m_tuning.m_satelliteNumber = satelliteNumber;
        return OpenAndClose(definition);
    }
    Lines OpenAndClose(CLinuxDVBMultiplexDefinition& definition)
    {
        TakeLog();
        CDVBTransportStreamSource* source = m_plugin.OpenMultiplex(&definition);
        EXPECT_NE(source, nullptr) << m_plugin.GetLastOpenFailureText().Str();
        m_plugin.CloseMultiplex(source);
        return TakeLog(true);
    }

    static CLinuxDVBMultiplexDefinition Definition(const std::string& line)
    {
        CLinuxDVBMultiplexDefinition definition;
        EXPECT_TRUE(definition.ReadFromString(line.c_str()));
        EXPECT_EQ(definition.m_firstFieldNotRead, -1) << line;
        return definition;
    }

    std::string m_root;
    CLinuxDVBInputPlugin m_plugin;
};

// A line written back reads to itself, its parameters in canonical case; a field that does
// not read is refused and what was there kept; no line is rejected, and a delivery system or
// parameters that do not read are kept as written, so that saving does not lose them.
TEST_F(CLinuxDVBInputPluginTest, DefinitionsRoundTripAndKeepWhatDoesNotRead)
{
    CLinuxDVBMultiplexDefinition definition =
        Definition("Cable 1, DVBC/ANNEX_A, 346000000, 6900000, 1, 2, -1, , UNIVERSAL, -1, modulation=qam/256 INNER_FEC=3/4");
    EXPECT_EQ(definition.m_tuning.m_frontend, 2);
    CString line;
    ASSERT_TRUE(definition.WriteToString(line));
    EXPECT_EQ(line.Str(), "Cable 1, DVBC/ANNEX_A, 346000000, 6900000, 1, 2, -1, , UNIVERSAL, -1, MODULATION=QAM/256 INNER_FEC=3/4");
    EXPECT_EQ(Definition(line.Str()).m_tuning.m_parameters, definition.m_tuning.m_parameters);
    CString shortLine;
    Definition("BBC A, DVBT, 490000000, 8000000").WriteToString(shortLine);
    EXPECT_EQ(shortLine.Str(), "BBC A, DVBT, 490000000, 8000000, 0, 0, -1, , UNIVERSAL, -1, ");

    const std::pair<int, const char*> junk[] = {{2, ""}, {2, "12x"}, {2, "-5"}, {2, "99999999999"}, {2, " 7"}, {4, "256"},
                                                {7, "X"}, {9, "4"}, {11, "0"}, {10, "MODULATION=QAM256"}};
    for (const auto& [field, text] : junk)
        EXPECT_FALSE(definition.ReadFieldFromString(field, text)) << field << " \"" << text << '"';
    EXPECT_EQ(definition.m_tuning.m_frequency, 346000000u);
    ASSERT_TRUE(definition.WriteToString(line));
    EXPECT_NE(line.Str().find("MODULATION=QAM256"), std::string::npos) << line.Str();
    CLinuxDVBMultiplexDefinition unknown;
    EXPECT_TRUE(unknown.ReadFromString("Junk, ATSC, 490000000, 8000000"));
    EXPECT_EQ(unknown.m_firstFieldNotRead, 1);
    EXPECT_EQ(unknown.m_tuning.m_deliverySystem, "ATSC");
}

// What the check refuses names the value; a unit mistaken (MHz for Hz) is out of range.
TEST_F(CLinuxDVBInputPluginTest, TheCheckRefusesTuningValuesNoTunerTakes)
{
    struct Case { const char* line; const char* problem; };
    for (const Case& c : {Case{"BBC A, DVBT, 490000000, 8000000", ""},
                          Case{"Astra, DVBS2, 11362000, 22000000, 0, 0, -1, H, UNIVERSAL, 2, PILOT=ON ROLLOFF=20", ""},
                          Case{"Cable, DVBC/ANNEX_A, 346000000, 6900000", ""},
                          Case{"Junk, ATSC, 490000000, 8000000", "the delivery system \"ATSC\" is not one of DVBT, DVBT2, DVBC/ANNEX_A, DVBS, DVBS2"},
                          Case{"MHz, DVBT, 490, 8000000", "the frequency 490 is out of range for DVBT: 30000000 to 1100000000 Hz"},
                          Case{"Hz, DVBS, 3000000000, 22000000, 0, 0, -1, H", "the frequency 3000000000 is out of range for DVBS: 950000 to 13000000 kHz"},
                          Case{"Wide, DVBT2, 490000000, 8", "the bandwidth 8 is out of range for DVBT2: 1700000 to 10000000 Hz"},
                          Case{"Slow, DVBC/ANNEX_A, 346000000, 0", "the symbol rate 0 is out of range for DVBC/ANNEX_A: 100000 to 70000000 symbols/s"},
                          Case{"Flat, DVBS, 11362000, 22000000", "the polarisation \"\" is not H, V, L or R, which satellite needs"},
                          Case{"Dish, DVBS, 11362000, 22000000, 0, 0, -1, V, SAUCEPAN", "the LNB \"SAUCEPAN\" is not one libdvbv5 knows"},
                          Case{"Pilot, DVBT, 490000000, 8000000, 0, 0, -1, , UNIVERSAL, -1, PILOT=ON",
                               "PILOT=ON is not a parameter of DVBT, which takes MODULATION, CODE_RATE_HP, CODE_RATE_LP, TRANSMISSION_MODE, GUARD_INTERVAL, HIERARCHY, INVERSION"},
                          Case{"Typo, DVBC/ANNEX_A, 346000000, 6900000, 0, 0, -1, , UNIVERSAL, -1, MODULATION=QAM256",
                               "\"QAM256\" is not a value of MODULATION: QPSK, QAM/16, QAM/32, QAM/64, QAM/128, QAM/256, "
                               "QAM/AUTO, VSB/8, VSB/16, PSK/8, APSK/16, APSK/32, DQPSK, QAM/4_NR"}}) {
        CLinuxDVBMultiplexDefinition definition;
        definition.ReadFromString(c.line);
        CString problem;
        EXPECT_EQ(m_plugin.CheckMultiplexDefinition(&definition, problem), *c.problem ? E::OpenFailureInvalid : E::OpenFailureNone)
            << c.line;
        EXPECT_EQ(problem.Str(), c.problem) << c.line;
    }
    EXPECT_TRUE(TakeLog().empty()) << "checked without tuning";
}

// For an entry of each delivery system, the frontend receives from the plug-in what it
// receives from dvbv5-zap: every property of the entry, voltage, tone and DiSEqC, the LNB's
// power off at the end. libdvbv5 fills a PILOT the table leaves out with a value no driver
// knows, which dvbv5-zap sends; the plug-in sends AUTO.
TEST_F(CLinuxDVBInputPluginTest, TheFrontendReceivesWhatDvbv5ZapSendsForTheSameEntry)
{
    const std::string terrestrial = CLinuxDVBScanTable::PathFor("uk/CrystalPalace");
    if (std::system("command -v dvbv5-zap >/dev/null") != 0 || terrestrial.empty())
        GTEST_SKIP() << "dvb-tools or dtv-scan-tables is not installed";
    struct Entry { const char* systems; std::string table; std::uint32_t frequency; int satellite; };
    const Entry entries[] = {{"DVBT,DVBT2", terrestrial, 490000000, -1},
                             {"DVBT,DVBT2", terrestrial, 746000000, -1},   // DVB-T2 with its PLP
                             {"DVBC_ANNEX_A", "/usr/share/dvb/dvb-c/at-CNI", 330000000, -1},
                             // a universal LNB on DiSEqC position 1: horizontal in the low band, vertical in the high
                             {"DVBS,DVBS2", "/usr/share/dvb/dvb-s/Astra-19.2E", 11362000, 1},
                             {"DVBS,DVBS2", "/usr/share/dvb/dvb-s/Astra-28.2E", 11856000, 1}};
    std::vector<Lines> sent;
    for (const Entry& e : entries) {
        ::setenv("LUM_FAKE_DVB_SYSTEMS", e.systems, 1);
        sent.push_back(WeSend(e.table, e.frequency, e.satellite));
        Lines zap = ZapSends(e.table, e.frequency, e.satellite < 0 ? "" : "-l UNIVERSAL -S 1");
        for (std::string& line : zap)
            if (const std::size_t pilot = line.find("PILOT=4294967295"); pilot != std::string::npos)
                line.replace(pilot, 16, "PILOT=2");
        EXPECT_EQ(sent.back(), zap) << e.table << " " << e.frequency;
    }
    for (const Lines& lines : sent)
        ASSERT_FALSE(lines.empty());   // an emulation that logs nothing agrees with anything
}

// A definition fixes what it names; the rest goes out as AUTO, never as libdvbv5's zeros
// (QPSK, 2K, 1/32, inversion off); a PLP of -1 lets the demodulator choose.
TEST_F(CLinuxDVBInputPluginTest, WhatADefinitionLeavesOutIsSentAsAuto)
{
    CLinuxDVBMultiplexDefinition definition = Definition("Mux, DVBT2, 545833000, 8000000, 0, 0, -1, , UNIVERSAL, -1, GUARD_INTERVAL=1/128");
    EXPECT_EQ(OpenAndClose(definition), Lines({"FE_SET_PROPERTY DELIVERY_SYSTEM=16",
                                               "FE_SET_PROPERTY FREQUENCY=545833000 MODULATION=6 BANDWIDTH_HZ=8000000 INVERSION=2 "
                                               "CODE_RATE_HP=9 CODE_RATE_LP=9 GUARD_INTERVAL=5 TRANSMISSION_MODE=2 HIERARCHY=4 "
                                               "STREAM_ID=4294967295 DELIVERY_SYSTEM=16 TUNE=0"}));
}

TEST_F(CLinuxDVBInputPluginTest, DeliversTheStreamThroughTheDVRWithTheSignalInTheStatus)
{
    std::system(("cd '" + m_root + "/adapter0' && touch frontend1 demux1 dvr1").c_str());
    CLinuxDVBMultiplexDefinition definition = Definition("Mux 1, DVBT2, 545833000, 8000000, 0, 1, 3");
    CDVBTransportStreamSource* source = m_plugin.OpenMultiplex(&definition);
    ASSERT_NE(source, nullptr) << m_plugin.GetLastOpenFailureText().Str();
    ASSERT_TRUE(source->Start());
    std::ifstream file(LUM_STREAM, std::ios::binary);
    const Bytes stream((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Bytes received(stream.size()), twice(stream);
    twice.insert(twice.end(), stream.begin(), stream.end());
    std::size_t have = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (have < received.size() && std::chrono::steady_clock::now() < deadline) {
        have += source->ReadBuffer(received.data() + have, DWORD(received.size() - have));
        std::this_thread::yield();   // a bounded poll of the ring: ReadBuffer never waits
    }
    ASSERT_EQ(have, received.size());
    // Start may fall within the first pass: what arrives is the looped stream from some packet on.
    EXPECT_NE(std::search(twice.begin(), twice.end(), received.begin(), received.end()), twice.end());
    const std::string status = Status(source);
    EXPECT_EQ(status.rfind("DVBT2 545.833 MHz, adapter 0 frontend 1: locked, signal -45.5 dBm, C/N 23.5 dB, BER 2.1e-05, ", 0), 0u)
        << status;
    EXPECT_NE(status.find(" uncorrected blocks"), std::string::npos) << status;
    m_plugin.CloseMultiplex(source);

    // The frontend's own demux and DVR, the DVR's buffer the large one, the whole stream passed.
    const Lines log = TakeLog();
    for (const char* call : {"adapter0/dvr1 DMX_SET_BUFFER_SIZE 4194304", "adapter0/demux1 DMX_SET_PES_FILTER pid=8192 input=0 output=2 pes_type=20 flags=4",
                             "adapter0/dvr1 close", "adapter0/demux1 close", "adapter0/frontend1 close"})
        EXPECT_NE(std::find(log.begin(), log.end(), call), log.end()) << call;
    for (const std::string& line : log)
        EXPECT_EQ(line.find("demux0"), std::string::npos) << line;
}

// The lock lost for three seconds: noticed within a second, retuned with a back-off,
// packets through again within a second of the lock's return, and the recording of the
// whole run what the DVR delivered, in the same file, the gap counted.
TEST_F(CLinuxDVBInputPluginTest, ALostLockIsNoticedRetunedAndTheRecordingGoesOnAcrossIt)
{
    using namespace std::chrono;
    ::setenv("LUM_FAKE_DVB_STREAM", LUM_SAMPLE, 1);   // 1.4 s at 20 Mbit/s: a recording's place in it is plain
    ::setenv("LUM_FAKE_DVB_LOCK_LOSS", "1.5,3", 1);
    ::setenv("LUM_FAKE_DVB_SERVED", (m_root + "/served.ts").c_str(), 1);
    CLinuxDVBMultiplexDefinition definition = Definition("Mux, DVBT, 490000000, 8000000");
    const auto opened = steady_clock::now();   // the emulation's clock starts at the first open, in here
    CDVBTransportStreamSource* source = m_plugin.OpenMultiplex(&definition);
    ASSERT_NE(source, nullptr) << m_plugin.GetLastOpenFailureText().Str();
    {
        CRecoveryRun run(source, m_root + "/recording.ts");
        EXPECT_LE(run.Noticed(opened + milliseconds(1500)), 1.0);
        const auto says = [&] { return Status(source).find("no lock") != std::string::npos; };
        EXPECT_LT(CRecoveryRun::SecondsUntil(steady_clock::now(), says, 2), 2) << Status(source);
        EXPECT_LE(run.Flowing(opened + milliseconds(4500)), 1.0);
        std::this_thread::sleep_until(opened + seconds(6));   // a second and a half of the stream back
        run.Stop();
        EXPECT_GE(run.Recovering()->GetReopenings(), 2u);   // when lost, then a second later
        EXPECT_LE(run.Recovering()->GetReopenings(), 3u);   // and no more: the back-off doubles
        run.Finish();
        m_plugin.CloseMultiplex(source);   // what the DVR delivered is all in the file now
        std::ifstream file(m_root + "/served.ts", std::ios::binary);
        run.Compare(Bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>()), 3.0);
    }
}

// An overflow of the DVR's buffer is counted and the stream goes on; a driver that fails
// its status now and then still opens; relative scales are shown as such.
TEST_F(CLinuxDVBInputPluginTest, OverflowsAreCountedAndAStatusThatFailsIsAskedAgain)
{
    ::setenv("LUM_FAKE_DVB_OVERFLOW_AT", "3", 1);
    ::setenv("LUM_FAKE_DVB_STATUS_FAILURES", "3", 1);
    ::setenv("LUM_FAKE_DVB_STATS", "relative", 1);
    CLinuxDVBMultiplexDefinition definition = Definition("Mux, DVBT, 490000000, 8000000");
    CDVBTransportStreamSource* source = m_plugin.OpenMultiplex(&definition);
    ASSERT_NE(source, nullptr) << m_plugin.GetLastOpenFailureText().Str();
    source->Start();
    Bytes buffer(188 * 1024);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Status(source).find("1 DVR overflows") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        source->ReadBuffer(buffer.data(), DWORD(buffer.size()));   // a bounded poll of the status
    const std::string status = Status(source);   // the blocks counted depend on how often the signal was read
    EXPECT_EQ(status.rfind("DVBT 490.000 MHz, adapter 0 frontend 0: locked, signal 78%, C/N 60%, BER 2.1e-05, ", 0), 0u) << status;
    EXPECT_EQ(status.substr(status.find(" uncorrected")), " uncorrected blocks, 1 DVR overflows") << status;
    m_plugin.CloseMultiplex(source);
}

TEST_F(CLinuxDVBInputPluginTest, WhatCannotBeTunedFailsWithItsReason)
{
    ::setenv("LUM_FAKE_DVB_LOCK", "474000000", 1);
    struct Case { const char* line; const char* statusFailures; int failure; std::string text; };
    for (const Case& c : {Case{"Quiet, DVBT, 490000000, 8000000", "0", E::OpenFailureNoSignal,
                               "no lock on 490.000 MHz within 0.2 s (signal, no lock, signal -90.0 dBm)"},
                          Case{"High, DVBT, 900000000, 8000000", "0", E::OpenFailureInvalid,
                               "the tuner refused the parameters: Invalid argument"},
                          Case{"Astra, DVBS2, 11362000, 22000000, 0, 0, -1, H", "0", E::OpenFailureInvalid,
                               "the tuner does not receive DVBS2 (it receives DVBT, DVBT2)"},
                          Case{"C band, DVBS, 4000000, 27500000, 0, 0, -1, H", "0", E::OpenFailureInvalid,
                               "4000 MHz is outside what the LNB UNIVERSAL receives"},
                          Case{"Other, DVBT, 474000000, 8000000, 1", "0", E::OpenFailureDevice,
                               "no " + m_root + "/adapter1/frontend0 (no DVB tuner on this machine, or no driver)"},
                          Case{"Mute, DVBT, 474000000, 8000000", "1000000", E::OpenFailureDevice,
                               "the frontend does not report its status"}}) {
        ::setenv("LUM_FAKE_DVB_STATUS_FAILURES", c.statusFailures, 1);
        CLinuxDVBMultiplexDefinition definition = Definition(c.line);
        EXPECT_EQ(m_plugin.OpenMultiplex(&definition), nullptr) << c.line;
        EXPECT_EQ(m_plugin.GetLastOpenFailure(), c.failure) << c.line;
        EXPECT_EQ(m_plugin.GetLastOpenFailureText().Str(), c.text);
    }
}

// A DVB-T tuner scanning a table of DVB-T and DVB-T2 entries skips the DVB-T2 ones, saying
// why, and names what locks after its network and stream; without a tuner the scan stops.
TEST_F(CLinuxDVBInputPluginTest, AScanSkipsWhatTheTunerCannotTakeAndGoesOn)
{
    const std::string path = CLinuxDVBScanTable::PathFor("UK/CrystalPalace");
    if (path.empty())
        GTEST_SKIP() << "dtv-scan-tables is not installed";
    std::vector<CLinuxDVBTuning> table;
    ASSERT_TRUE(CLinuxDVBScanTable::Read(path, table));
    std::vector<std::uint32_t> secondGeneration;
    for (const CLinuxDVBTuning& tuning : table)
        if (tuning.m_deliverySystem == "DVBT2")
            secondGeneration.push_back(tuning.m_frequency);
    ASSERT_FALSE(secondGeneration.empty());
    ::setenv("LUM_FAKE_DVB_SYSTEMS", "DVBT", 1);
    ::setenv("LUM_FAKE_DVB_LOCK", (std::to_string(table[0].m_frequency) + "," + std::to_string(secondGeneration[0])).c_str(), 1);
    ASSERT_TRUE(m_plugin.ScanFolder("uk/CrystalPalace"));
    ASSERT_EQ(m_plugin.GetMultiplexDefinitionCount(), 1);
    auto* found = dynamic_cast<CLinuxDVBMultiplexDefinition*>(m_plugin.GetMultiplexDefinitionAtIndex(0));
    EXPECT_EQ(found->GetName().Str(), "LUM Peer Network 4660");   // the peer stream's NIT and SDT
    EXPECT_EQ(found->m_tuning.m_parameters, table[0].m_parameters);
    const Lines reasons = SplitLines(m_plugin.GetLastOpenFailureText().Str());
    ASSERT_EQ(reasons.size(), secondGeneration.size());
    EXPECT_EQ(reasons[0].substr(reasons[0].find(':')), ": the tuner does not receive DVBT2 (it receives DVBT)");

    std::vector<CLinuxDVBTuning> legacy;   // the one-line files of dvb-legacy/ read alike
    ASSERT_TRUE(CLinuxDVBScanTable::Read("/usr/share/dvb/dvb-legacy/dvb-t/uk-CrystalPalace", legacy));
    ASSERT_FALSE(legacy.empty());
    EXPECT_EQ(legacy[0].m_parameters, table[0].m_parameters);

    EXPECT_FALSE(m_plugin.ScanFolder("zz/Nowhere"));
    EXPECT_EQ(m_plugin.GetLastOpenFailure(), E::OpenFailureUnreadable);
    std::system(("rm -rf '" + m_root + "/adapter0'").c_str());   // no tuner: the scan stops at once
    EXPECT_FALSE(m_plugin.ScanFolder(path.c_str()));
    EXPECT_EQ(m_plugin.GetLastOpenFailure(), E::OpenFailureDevice);
    EXPECT_EQ(m_plugin.GetMultiplexDefinitionCount(), 1);
}

// lumrx, with the emulation loaded into it, lists the services of the stream the emulated
// tuner serves and records one, as it does from the stream's file; a scan says what it
// skipped, and why it cannot run.
TEST_F(CLinuxDVBInputPluginTest, LumrxReceivesThroughTheEmulatedTuner)
{
    const std::string bin = std::string(LUMRX_PATH).substr(0, std::string(LUMRX_PATH).rfind('/'));
    const std::string copy = m_root + "/bin";
    ASSERT_EQ(std::system(("cp -r '" + bin + "' '" + copy + "'").c_str()), 0);
    std::ofstream(copy + "/LUMLinuxDVBInput Multiplexes.txt") << "Peer, DVBT, 490000000, 8000000\n";
    std::ofstream(copy + "/LUMFileInput Multiplexes.txt") << "File, " LUM_STREAM ", fast, off\n";
    const auto lumrx = [&](const std::string& arguments, const std::string& devices = "", const std::string& settings = "") {
        return CommandOutput(settings + "ASAN_OPTIONS=verify_asan_link_order=0 LUM_DVB_DEVICES='" + (devices.empty() ? m_root : devices) +
                             "' LD_PRELOAD=" LUM_FAKE_DVB_LIBRARY " '" + copy + "/lumrx' " + arguments + " 2>&1");
    };
    const auto fromTuner = lumrx("services Peer --timeout 20");
    EXPECT_EQ(fromTuner.first, 0) << fromTuner.second;
    EXPECT_EQ(fromTuner.second, CommandOutput(std::string(LUMRX_PATH) + " services " LUM_STREAM " 2>&1").second);
    // One service recorded from the tuner holds the streams it holds recorded from the file;
    // ffprobe lists them in the order it meets them, which the start of a recording decides.
    const auto recorded = lumrx("record Peer '" + m_root + "/tuner.ts' --service 101 --seconds 1");
    EXPECT_EQ(recorded.first, 0) << recorded.second;
    lumrx("record File '" + m_root + "/file.ts' --service 101");
    const auto codecs = [&](const char* file) {
        Lines names = SplitLines(CommandOutput("ffprobe -v quiet -show_entries stream=codec_name -of csv=p=0 '" + m_root + file + "'").second);
        names.erase(std::remove(names.begin(), names.end(), ""), names.end());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_FALSE(codecs("/file.ts").empty());
    EXPECT_EQ(codecs("/tuner.ts"), codecs("/file.ts"));
    // a lock lost for a second and a half, and the recording says so at its end
    const auto across = lumrx("record Peer '" + m_root + "/across.ts' --seconds 4", "", "LUM_FAKE_DVB_LOCK_LOSS=1,1.5 ");
    EXPECT_EQ(across.first, 0) << across.second;
    EXPECT_NE(across.second.find(", reception lost 1 time, 1."), std::string::npos) << across.second;

    const auto unknown = lumrx("scan --plugin LUMLinuxDVBInput zz/Nowhere");
    EXPECT_EQ(unknown.first, 5) << unknown.second;
    EXPECT_NE(unknown.second.find("no initial-tuning file"), std::string::npos) << unknown.second;
    if (CLinuxDVBScanTable::PathFor("uk/CrystalPalace").empty())
        return;
    const auto noTuner = lumrx("scan --plugin LUMLinuxDVBInput uk/CrystalPalace", "/nowhere");
    EXPECT_EQ(noTuner.first, 7) << noTuner.second;
    EXPECT_NE(noTuner.second.find("no /nowhere/adapter0/frontend0"), std::string::npos) << noTuner.second;
    ::setenv("LUM_FAKE_DVB_SYSTEMS", "DVBT", 1);   // every DVB-T entry locks, without a lock wait
    const auto scan = lumrx("scan --plugin LUMLinuxDVBInput uk/CrystalPalace");
    EXPECT_EQ(scan.first, 0) << scan.second;
    EXPECT_NE(scan.second.find("6 definitions added\nskipped:\nDVBT2 746.000 MHz: the tuner does not receive DVBT2 (it receives DVBT)\n"),
              std::string::npos) << scan.second;
}

}  // namespace
