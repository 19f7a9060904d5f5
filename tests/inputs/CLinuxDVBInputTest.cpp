// The Linux DVB input plug-in's tuning, status and scan logic with a fake tuner that
// locks on the frequencies a test names and serves a committed peer-made stream; the
// scan reads a real dtv-scan-tables file. No real tuner is reached.
#include "core/CDVBTransportStreamSource.h"
#include "inputs/dvb/CLinuxDVBInputPlugin.h"
#include "inputs/dvb/CLinuxDVBMultiplexDefinition.h"
#include "inputs/dvb/CLinuxDVBScanTable.h"
#include "platform/CEvent.h"
#include "tests/support/CommandOutput.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// What every fake tuner of a test shares: the frequencies that lock, what tuning asked for.
struct CFakeTuners
{
    std::set<std::uint32_t> locking;
    std::string tuneError;   // set: Tune fails so, as without /dev/dvb
    Bytes stream;
    std::mutex lock;
    std::vector<CLinuxDVBTuning> tuned;
    int closed = 0;
    CEvent never{true, false};   // what a device's read waits on: its time-out
};

class CFakeDVBDevice : public CLinuxDVBDevice
{
public:
    explicit CFakeDVBDevice(CFakeTuners& tuners) : m_tuners(tuners) {}

    bool Tune(const CLinuxDVBTuning& tuning, std::string& error) override
    {
        std::lock_guard<std::mutex> guard(m_tuners.lock);
        m_tuners.tuned.push_back(tuning);
        m_locked = m_tuners.locking.count(tuning.m_frequency) > 0;
        error = m_tuners.tuneError;
        return error.empty();
    }
    bool ReadSignal(CLinuxDVBSignal& signal) override
    {
        signal.m_locked = signal.m_hasCarrier = m_locked;
        signal.m_strengthScale = CLinuxDVBSignal::Relative;
        signal.m_strengthPercent = m_locked ? 78 : 3;
        signal.m_snrScale = CLinuxDVBSignal::Decibel;
        signal.m_snrDb = m_locked ? 23.5 : 0.2;
        return true;
    }
    bool OpenStream(std::string&) override { return true; }
    // The stream over and over in DVR-sized reads, a pass at most per wait.
    long Read(BYTE* buffer, std::size_t size, int timeoutMs) override
    {
        if (m_at == m_tuners.stream.size()) {
            m_at = 0;
            m_tuners.never.Wait(DWORD(timeoutMs / 10));   // a pass at most per wait, as a tuner paces it
        }
        const std::size_t n = std::min(size, m_tuners.stream.size() - m_at);
        std::copy_n(m_tuners.stream.begin() + long(m_at), n, buffer);
        m_at += n;
        return long(n);
    }
    void Close() override
    {
        std::lock_guard<std::mutex> guard(m_tuners.lock);
        ++m_tuners.closed;
    }

private:
    CFakeTuners& m_tuners;
    bool m_locked = false;
    std::size_t m_at = 0;
};

class LinuxDVBInputTest : public ::testing::Test
{
protected:
    LinuxDVBInputTest()
    {
        std::ifstream file(LUM_STREAM, std::ios::binary);
        m_tuners.stream.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        m_plugin.SetDeviceFactory([this] { return std::make_unique<CFakeDVBDevice>(m_tuners); });
        m_plugin.SetTimeouts(100, 10000);
    }
    ~LinuxDVBInputTest() override { m_plugin.DeInitialise(); }

    static CLinuxDVBMultiplexDefinition Definition(const std::vector<std::string>& fields)
    {
        CLinuxDVBMultiplexDefinition definition;
        for (std::size_t i = 0; i < fields.size(); ++i)
            EXPECT_TRUE(definition.ReadFieldFromString(int(i), fields[i].c_str())) << fields[i];
        return definition;
    }

    CFakeTuners m_tuners;
    CLinuxDVBInputPlugin m_plugin;
};

TEST_F(LinuxDVBInputTest, DefinitionFieldsRoundTripAndRejectJunk)
{
    CLinuxDVBMultiplexDefinition definition = Definition({"Mux 1", "DVBT2", "545833000", "8000000", "1", "2", "0"});
    EXPECT_EQ(definition.m_tuning.m_plp, 0);
    EXPECT_EQ(definition.m_tuning.m_frontend, 2);
    std::vector<std::string> written;
    for (int i = 0; i < definition.GetTotalFieldCount(); ++i) {
        CString text;
        ASSERT_TRUE(definition.WriteFieldToString(i, text));
        written.push_back(text.Str());
    }
    EXPECT_EQ(written, (std::vector<std::string>{"Mux 1", "DVBT2", "545833000", "8000000", "1", "2", "0", "", "UNIVERSAL"}));
    CString line;
    CLinuxDVBMultiplexDefinition reread;
    ASSERT_TRUE(definition.WriteToString(line) && reread.ReadFromString(line));
    EXPECT_EQ(reread.m_firstFieldNotRead, -1) << "the empty polarisation too";
    EXPECT_EQ(reread.m_tuning.m_frequency, 545833000u);
    EXPECT_EQ(reread.m_tuning.m_plp, 0);
    for (const char* bad : {"", "12x", "-5", "99999999999", " 7"})
        EXPECT_FALSE(definition.ReadFieldFromString(2, bad)) << bad;
    EXPECT_FALSE(definition.ReadFieldFromString(4, "256"));
    EXPECT_FALSE(definition.ReadFieldFromString(7, "X"));
    EXPECT_FALSE(definition.ReadFieldFromString(9, "0"));
    EXPECT_EQ(definition.m_tuning.m_frequency, 545833000u);

    CLinuxDVBMultiplexDefinition satellite = Definition({"Astra", "DVBS2", "11362000", "22000000", "0", "0", "-1", "H"});
    EXPECT_EQ(satellite.m_tuning.m_lnb, "UNIVERSAL");
    EXPECT_EQ(CLinuxDVBTuning::PolarisationNumber(satellite.m_tuning.m_polarisation), 1u);
    EXPECT_DOUBLE_EQ(satellite.m_tuning.FrequencyMHz(), 11362.0);
}

// What the check refuses names the value; a unit mistaken (MHz for Hz) is out of range.
TEST_F(LinuxDVBInputTest, TheCheckRefusesTuningValuesNoTunerTakes)
{
    CLinuxDVBMultiplexDefinition junk;
    EXPECT_TRUE(junk.ReadFromString("Junk, ATSC, 490000000, 8000000")) << "no line is rejected";
    EXPECT_EQ(junk.m_firstFieldNotRead, 1);
    EXPECT_EQ(junk.m_tuning.m_deliverySystem, "ATSC") << "kept, so that saving does not lose it";
    struct Case { const char* line; const char* problem; };
    for (const Case& c : {Case{"BBC A, DVBT, 490000000, 8000000", ""},
                          Case{"Astra, DVBS2, 11362000, 22000000, 0, 0, -1, H, UNIVERSAL", ""},
                          Case{"Cable, DVBC/ANNEX_A, 346000000, 6900000", ""},
                          Case{"Junk, ATSC, 490000000, 8000000", "the delivery system \"ATSC\" is not one of DVBT, DVBT2, DVBC/ANNEX_A, DVBS, DVBS2"},
                          Case{"MHz, DVBT, 490, 8000000", "the frequency 490 is out of range for DVBT: 30000000 to 1100000000 Hz"},
                          Case{"Hz, DVBS, 3000000000, 22000000, 0, 0, -1, H", "the frequency 3000000000 is out of range for DVBS: 950000 to 13000000 kHz"},
                          Case{"Wide, DVBT2, 490000000, 8", "the bandwidth 8 is out of range for DVBT2: 1700000 to 10000000 Hz"},
                          Case{"Slow, DVBC/ANNEX_A, 346000000, 0", "the symbol rate 0 is out of range for DVBC/ANNEX_A: 100000 to 70000000 symbols/s"},
                          Case{"Flat, DVBS, 11362000, 22000000", "the polarisation \"\" is not H, V, L or R, which satellite needs"},
                          Case{"Dish, DVBS, 11362000, 22000000, 0, 0, -1, V, SAUCEPAN", "the LNB \"SAUCEPAN\" is not one libdvbv5 knows"}}) {
        CLinuxDVBMultiplexDefinition definition;
        definition.ReadFromString(c.line);
        CString problem;
        EXPECT_EQ(m_plugin.CheckMultiplexDefinition(&definition, problem),
                  *c.problem ? CLUMInputPluginExtension::OpenFailureInvalid : CLUMInputPluginExtension::OpenFailureNone) << c.line;
        EXPECT_EQ(problem.Str(), c.problem) << c.line;
    }
    EXPECT_TRUE(m_tuners.tuned.empty()) << "checked without tuning";
}

TEST_F(LinuxDVBInputTest, OpensALockedMultiplexAndDeliversItsPacketsWithTheSignalInTheStatus)
{
    m_tuners.locking = {545833000};
    CLinuxDVBMultiplexDefinition definition = Definition({"Mux 1", "DVBT2", "545833000", "8000000", "0", "0", "3"});
    CDVBTransportStreamSource* source = m_plugin.OpenMultiplex(&definition);
    ASSERT_NE(source, nullptr) << m_plugin.GetLastOpenFailureText().Str();
    ASSERT_EQ(m_tuners.tuned.size(), 1u);
    EXPECT_EQ(m_tuners.tuned[0].m_deliverySystem, "DVBT2");
    EXPECT_EQ(m_tuners.tuned[0].m_plp, 3);
    EXPECT_EQ(m_tuners.tuned[0].m_bandwidthOrSymbolRate, 8000000u);

    ASSERT_TRUE(source->Start());
    Bytes received(m_tuners.stream.size());
    std::size_t have = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (have < received.size() && std::chrono::steady_clock::now() < deadline) {
        have += source->ReadBuffer(received.data() + have, DWORD(received.size() - have));
        std::this_thread::yield();   // a bounded poll of the ring: ReadBuffer never waits
    }
    ASSERT_EQ(have, received.size());
    // Start may fall within a pass: what arrives is the stream from some packet on.
    std::size_t offset = 0;
    while (offset < received.size() && !std::equal(received.begin(), received.begin() + 188, m_tuners.stream.begin() + long(offset)))
        offset += 188;
    ASSERT_LT(offset, received.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end() - long(offset), m_tuners.stream.begin() + long(offset)));

    CString status;
    source->GetStatus(status);
    EXPECT_EQ(status.Str(), "DVBT2 545.833 MHz, adapter 0 frontend 0: locked, signal 78%, SNR 23.5 dB");
    EXPECT_TRUE(m_plugin.CloseMultiplex(source));
    EXPECT_EQ(m_tuners.closed, 1);
}

TEST_F(LinuxDVBInputTest, ATunerThatNeverLocksOrIsMissingFailsWithItsReason)
{
    CLinuxDVBMultiplexDefinition definition = Definition({"Quiet", "DVBT", "490000000", "8000000"});
    EXPECT_EQ(m_plugin.OpenMultiplex(&definition), nullptr);
    EXPECT_EQ(m_plugin.GetLastOpenFailure(), CLUMInputPluginExtension::OpenFailureNoSignal);
    EXPECT_EQ(m_plugin.GetLastOpenFailureText().Str(), "no lock on 490.000 MHz within 0.1 s (no signal, signal 3%, SNR 0.2 dB)");
    EXPECT_EQ(m_tuners.closed, 2);   // at the failure, and again, harmlessly, with the source

    m_tuners.tuneError = "no /dev/dvb/adapter0/frontend0";
    EXPECT_EQ(m_plugin.OpenMultiplex(&definition), nullptr);
    EXPECT_EQ(m_plugin.GetLastOpenFailure(), CLUMInputPluginExtension::OpenFailureDevice);
}

TEST_F(LinuxDVBInputTest, ScansARealScanTableAndNamesWhatLocksAfterItsNetworkAndStream)
{
    const std::string path = CLinuxDVBScanTable::PathFor("UK/CrystalPalace");
    if (path.empty())
        GTEST_SKIP() << "dtv-scan-tables is not installed";
    std::vector<CLinuxDVBTuning> table;
    ASSERT_TRUE(CLinuxDVBScanTable::Read(path, table));
    ASSERT_GE(table.size(), 6u);
    EXPECT_EQ(table[0].m_frequency, 490000000u);
    EXPECT_EQ(table[0].m_bandwidthOrSymbolRate, 8000000u);

    m_tuners.locking = {table[0].m_frequency, table[2].m_frequency};
    ASSERT_TRUE(m_plugin.ScanFolder("uk/CrystalPalace"));
    EXPECT_EQ(m_tuners.tuned.size(), table.size());   // every entry tried
    ASSERT_EQ(m_plugin.GetMultiplexDefinitionCount(), 2);
    auto* first = dynamic_cast<CLinuxDVBMultiplexDefinition*>(m_plugin.GetMultiplexDefinitionAtIndex(0));
    auto* second = dynamic_cast<CLinuxDVBMultiplexDefinition*>(m_plugin.GetMultiplexDefinitionAtIndex(1));
    EXPECT_EQ(first->GetName().Str(), "LUM Peer Network 4660");   // the peer stream's NIT and SDT
    EXPECT_EQ(first->m_tuning.m_deliverySystem, table[0].m_deliverySystem);
    EXPECT_EQ(second->m_tuning.m_frequency, table[2].m_frequency);

    std::vector<CLinuxDVBTuning> astra;
    ASSERT_TRUE(CLinuxDVBScanTable::Read(CLinuxDVBScanTable::PathFor("Astra-19.2E"), astra));
    ASSERT_EQ(astra.size(), 1u);
    EXPECT_EQ(astra[0].m_deliverySystem, "DVBS2");
    EXPECT_EQ(astra[0].m_frequency, 11362000u);   // kHz, as the file and the API give it
    EXPECT_EQ(astra[0].m_bandwidthOrSymbolRate, 22000000u);
    EXPECT_EQ(astra[0].m_polarisation, "H");

    EXPECT_FALSE(m_plugin.ScanFolder("zz/Nowhere"));
    EXPECT_EQ(m_plugin.GetLastOpenFailure(), CLUMInputPluginExtension::OpenFailureUnreadable);
    m_tuners.tuneError = "no /dev/dvb/adapter0/frontend0";   // no tuner: the scan stops at once
    m_tuners.tuned.clear();
    EXPECT_FALSE(m_plugin.ScanFolder(path.c_str()));
    EXPECT_EQ(m_tuners.tuned.size(), 1u);
    EXPECT_EQ(m_plugin.GetMultiplexDefinitionCount(), 2);
}

std::pair<int, std::string> Lumrx(const std::string& arguments)
{
    return CommandOutput(LUMRX_PATH " " + arguments + " 2>&1");
}

TEST(LinuxDVBInputHostTest, LumrxSaysWhyAScanCannotRun)
{
    const auto unknown = Lumrx("scan --plugin LUMLinuxDVBInput zz/Nowhere");
    EXPECT_EQ(unknown.first, 5) << unknown.second;
    EXPECT_NE(unknown.second.find("no initial-tuning file"), std::string::npos) << unknown.second;
    if (std::ifstream("/dev/dvb/adapter0/frontend0") || CLinuxDVBScanTable::PathFor("uk/CrystalPalace").empty())
        return;   // a machine with a tuner, or without the tables: nothing more to say here
    const auto noTuner = Lumrx("scan --plugin LUMLinuxDVBInput uk/CrystalPalace");
    EXPECT_EQ(noTuner.first, 7) << noTuner.second;
    EXPECT_NE(noTuner.second.find("no /dev/dvb/adapter0/frontend0"), std::string::npos) << noTuner.second;
}

}  // namespace
