// The file input plug-in's source, opened by the plug-in loaded from LUMFileInput.so and
// read the way the receive thread reads it, on a manual clock for the pacing.
#include "core/CDVBClockedSource.h"
#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/CManualClock.h"
#include "tests/modules/inputs/CNumberedPackets.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kMs = 1000000;

class CFileInputSourceTest : public CFileInputFixture
{
protected:
    void TearDown() override
    {
        EXPECT_TRUE(!m_source || m_plugin->CloseMultiplex(m_source));
        CFileInputFixture::TearDown();
    }
    // Writes clip.ts and opens it with the given pacing and loop fields, paced by m_clock.
    CDVBTransportStreamSource* Open(const std::vector<BYTE>& bytes, const char* pacingAndLoop)
    {
        EXPECT_TRUE(!m_source || m_plugin->CloseMultiplex(m_source));
        m_folder.Write("clip.ts", bytes);
        m_source = m_plugin->OpenMultiplex(Define(("Clip, clip.ts, " + std::string(pacingAndLoop)).c_str()));
        m_finite = dynamic_cast<CDVBFiniteSource*>(m_source);
        if (auto* clocked = dynamic_cast<CDVBClockedSource*>(m_source))
            clocked->SetClock(&m_clock);
        m_numbers.clear();
        return m_source;
    }
    // One read into a buffer of exactly `size` bytes, which must hold whole packets only;
    // appends their numbers.
    DWORD Read(std::size_t size = 188 * 64 + 100)
    {
        std::vector<BYTE> buffer(size);
        const DWORD n = m_source->ReadBuffer(buffer.data(), DWORD(size));
        EXPECT_EQ(0u, n % 188) << Status();
        EXPECT_LE(n, size - size % 188);
        buffer.resize(n);
        for (int number : CNumberedPackets::Numbers(buffer))
            m_numbers.push_back(number);
        return n;
    }
    // Reads until `count` packets have come (0: until the end): a bounded poll of the reader
    // thread, which reads the file ahead.
    bool ReadUntil(std::size_t count, std::size_t size = 188 * 64 + 100)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (count ? m_numbers.size() < count : !m_finite->HasEnded()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (Read(size) == 0)
                std::this_thread::yield();
        }
        return true;
    }
    std::string Status()
    {
        CString status;
        m_source->GetStatus(status);
        return status.Str();
    }

    CManualClock m_clock;
    CDVBTransportStreamSource* m_source = nullptr;
    CDVBFiniteSource* m_finite = nullptr;
    std::vector<int> m_numbers;
};

// Every packet once, in order, through reads that do not end on packet boundaries, then the
// end (the framer's own test covers damage). The definitions file is edited by hand: a rate
// too high to reach is played as fast; a file without PCR or TDT to keep to is too.
TEST_F(CFileInputSourceTest, DeliversEveryWholePacketInOrderThenEnds)
{
    std::vector<BYTE> noisy = CNumberedPackets::Stream(0, 3000);
    noisy.insert(noisy.begin() + 200 * 188, 77, 0x55);
    const std::vector<BYTE> hundred = CNumberedPackets::Stream(0, 100);
    struct Case { std::vector<BYTE> bytes; const char* pacing; const char* end; };
    for (const Case& c : {Case{noisy, "fast", "as fast as it is read, 77 bytes skipped to resync, at its end"},
                          Case{{}, "fast", "as fast as it is read, at its end"},
                          Case{hundred, "pcr", "without PCR or TDT: as fast as it is read, at its end"},
                          Case{hundred, "1e300", nullptr}, Case{hundred, "inf", nullptr}}) {
        ASSERT_NE(nullptr, Open(c.bytes, c.pacing)) << c.pacing;
        ASSERT_NE(nullptr, m_finite) << "a file source must say when it has ended";
        ASSERT_TRUE(m_source->Start());
        // on simulated time the first read already finds what the reader thread reads ahead
        EXPECT_EQ(Read(188 * 4), c.bytes.empty() ? 0u : 188u * 4) << Status();
        EXPECT_TRUE(ReadUntil(0, 999)) << Status();   // five packets at most a read
        EXPECT_EQ(CNumberedPackets::Range(int(c.bytes.size() / 188)), m_numbers) << c.pacing;
        EXPECT_EQ(0u, Read(188 * 4));
        EXPECT_TRUE(!c.end || "clip.ts, 100% played, " + std::string(c.end) == Status()) << Status();
    }
}

TEST_F(CFileInputSourceTest, StartsAgainFromTheFirstPacketAfterAStopOrAtTheEndOfALoop)
{
    std::vector<BYTE> bytes = CNumberedPackets::Stream(0, 100);
    bytes.resize(bytes.size() + 150, 0x55);   // part of a packet, which counts as played at the end
    ASSERT_NE(nullptr, Open(bytes, "fast, off"));
    ASSERT_TRUE(m_source->Start());
    ASSERT_TRUE(ReadUntil(5)) << Status();
    EXPECT_TRUE(m_source->Stop());
    ASSERT_TRUE(m_source->Start());
    m_numbers.clear();
    ASSERT_TRUE(ReadUntil(50, 188 * 10)) << Status();
    EXPECT_EQ("clip.ts, 50% played, as fast as it is read", Status());
    EXPECT_TRUE(ReadUntil(0)) << Status();
    EXPECT_EQ(CNumberedPackets::Range(100), m_numbers);
    EXPECT_EQ("clip.ts, 100% played, as fast as it is read, at its end", Status());

    ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 10), "fast, on"));
    ASSERT_TRUE(m_source->Start());
    EXPECT_TRUE(ReadUntil(35)) << Status();
    for (std::size_t i = 0; i < 35; ++i)
        EXPECT_EQ(int(i % 10), m_numbers[i]);
    EXPECT_FALSE(m_finite->HasEnded());
    bytes.resize(188 + 100);
    bytes.resize(376, 0x00);
    ASSERT_NE(nullptr, Open(bytes, "fast, on")) << "one packet and a cut one: a looping reader must not spin on it";
    ASSERT_TRUE(m_source->Start());
}

// The reader, 16384 packets ahead of the fixed rate, still waits for room when the source closes.
TEST_F(CFileInputSourceTest, HandsOutAFixedRateOnlyAsItsTimeComes)
{
    // 2 Mbit/s is 1329.8 packets a second
    ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 20000), "2"));
    EXPECT_EQ("clip.ts, 0% played, at 2.00 Mbit/s", Status());
    ASSERT_TRUE(m_source->Start());
    EXPECT_EQ(0u, Read()) << "nothing is due at the start";
    m_clock.Advance(600 * kMs);
    ASSERT_TRUE(ReadUntil(797)) << Status();
    EXPECT_EQ(0u, Read()) << "797.9 packets are due: the 798th is not";
    m_clock.Advance(1 * kMs);   // 1.33 packets more: 799.2
    ASSERT_TRUE(ReadUntil(799)) << Status();
    EXPECT_EQ(0u, Read());
    EXPECT_EQ(CNumberedPackets::Range(799), m_numbers);
}

// Packets 0, 10 and 20 carry PCRs 0.5 s apart, or, without PCR, time and date tables a second
// apart (MJD 0xE89A, 12:00:0N); the first read that finds packets anchors the clock at the
// first, and each packet after one comes only when the clock reaches its time.
TEST_F(CFileInputSourceTest, PacketsAfterAPcrOrATdtComeOnlyWhenTheirTimeHasCome)
{
    for (const bool pcr : {true, false}) {
        std::vector<BYTE> bytes;
        for (int number = 0; number < 30; ++number) {
            std::vector<BYTE> packet = CNumberedPackets::Packet(number);
            const BYTE tdt[] = {0x47, 0x40, 0x14, 0x10, 0x00, 0x70, 0x70, 0x05, 0xE8, 0x9A, 0x12, 0x00, BYTE(number / 10)};
            if (number % 10 == 0 && pcr)
                packet = CNumberedPackets::WithPcr(number, 45000 * std::uint64_t(number / 10));
            else if (number % 10 == 0)
                std::copy(std::begin(tdt), std::end(tdt), packet.begin());
            bytes.insert(bytes.end(), packet.begin(), packet.end());
        }
        ASSERT_NE(nullptr, Open(bytes, "pcr"));
        EXPECT_EQ("clip.ts, 0% played, in real time", Status());
        ASSERT_TRUE(m_source->Start());
        ASSERT_TRUE(ReadUntil(10)) << Status();
        for (int step = 1; step <= 2; ++step) {
            m_clock.Advance((pcr ? 500 : 1000) * kMs - 1);
            EXPECT_EQ(0u, Read()) << "packet " << step * 10 << " came before its time, " << (pcr ? "PCR" : "TDT");
            m_clock.Advance(1);
            ASSERT_TRUE(ReadUntil(std::size_t(step + 1) * 10)) << Status();
        }
        EXPECT_TRUE(ReadUntil(0)) << Status();
        std::vector<int> numbers = CNumberedPackets::Range(30);
        for (std::size_t table = 0; !pcr && table < 30; table += 10)
            numbers[table] = -1;   // a TDT is not one of the numbered packets
        EXPECT_EQ(numbers, m_numbers);
        EXPECT_EQ(pcr ? "clip.ts, 100% played, in real time, at its end" : "clip.ts, 100% played, in real time by its TDT, at its end",
                  Status());
    }
}

}  // namespace
