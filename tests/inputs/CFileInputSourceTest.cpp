// The file input plug-in's source, opened by the plug-in loaded from LUMFileInput.so and
// read the way the receive thread reads it, on a manual clock for the pacing.
#include "core/CDVBClockedSource.h"
#include "core/CDVBFiniteSource.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/CManualClock.h"
#include "tests/inputs/CNumberedPackets.h"
#include "tests/plugins/CFileInputFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr std::int64_t kMs = 1000000;

std::vector<int> Range(int first, int count)
{
    std::vector<int> numbers(std::size_t(count), 0);
    std::iota(numbers.begin(), numbers.end(), first);
    return numbers;
}

class CFileInputSourceTest : public CFileInputFixture
{
protected:
    static constexpr std::size_t kBuffer = 188 * 64 + 100;

    void TearDown() override
    {
        if (m_source) {
            EXPECT_TRUE(m_plugin->CloseMultiplex(m_source));
        }
        CFileInputFixture::TearDown();
    }

    // Writes clip.ts and opens it with the given pacing and loop fields, paced by m_clock.
    CDVBTransportStreamSource* Open(const std::vector<BYTE>& bytes, const char* pacingAndLoop)
    {
        if (m_source)
            m_plugin->CloseMultiplex(m_source);
        m_folder.Write("clip.ts", bytes);
        const std::string line = std::string("Clip, clip.ts, ") + pacingAndLoop;
        m_source = m_plugin->OpenMultiplex(Define(line.c_str()));
        m_finite = dynamic_cast<CDVBFiniteSource*>(m_source);
        if (auto* clocked = dynamic_cast<CDVBClockedSource*>(m_source))
            clocked->SetClock(&m_clock);
        return m_source;
    }

    // One read into a buffer of `size` bytes exactly; checks it holds whole packets only
    // and appends their numbers.
    DWORD Read(std::vector<int>& numbers, std::size_t size = kBuffer)
    {
        std::vector<BYTE> buffer(size);
        const DWORD n = m_source->ReadBuffer(buffer.data(), DWORD(size));
        EXPECT_EQ(0u, n % 188) << Status();
        EXPECT_LE(n, size - size % 188);
        buffer.resize(n);
        for (int number : CNumberedPackets::Numbers(buffer))
            numbers.push_back(number);
        return n;
    }

    // Reads, as the receive thread does, until `done`: a bounded poll of the reader thread,
    // which reads the file ahead.
    bool ReadUntil(std::vector<int>& numbers, const std::function<bool()>& done, std::size_t size = kBuffer)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (Read(numbers, size) == 0)
                std::this_thread::yield();
        }
        return true;
    }
    bool ReadAtLeast(std::vector<int>& numbers, std::size_t count)
    {
        return ReadUntil(numbers, [&] { return numbers.size() >= count; });
    }

    // Where the source is, for failure messages.
    std::string Status()
    {
        CString status;
        m_source->GetStatus(status);
        return status.Str();
    }
    CManualClock m_clock;
    CDVBTransportStreamSource* m_source = nullptr;
    CDVBFiniteSource* m_finite = nullptr;
};

// The framer's own test covers damage; here, that every packet the file holds comes out
// once, in order, through reads that do not end on packet boundaries, and then the end.
TEST_F(CFileInputSourceTest, DeliversEveryWholePacketInOrderThenEnds)
{
    std::vector<BYTE> noisy = CNumberedPackets::Stream(0, 3000);
    noisy.insert(noisy.begin() + 200 * 188, 77, 0x55);
    const std::pair<std::vector<BYTE>, const char*> files[] = {
        {noisy, "clip.ts, 100% played, as fast as it is read, 77 bytes skipped to resync, at its end"},
        {{}, "clip.ts, 100% played, as fast as it is read, at its end"},
    };
    for (const auto& [bytes, status] : files) {
        ASSERT_NE(nullptr, Open(bytes, "fast, off"));
        ASSERT_NE(nullptr, m_finite) << "a file source must say when it has ended";
        ASSERT_TRUE(m_source->Start());
        std::vector<int> numbers;   // under 1000 bytes a read: five packets at most
        EXPECT_TRUE(ReadUntil(numbers, [&] { return m_finite->HasEnded(); }, 999)) << Status();
        EXPECT_EQ(Range(0, int(bytes.size() / 188)), numbers);
        EXPECT_EQ(0u, Read(numbers, 188 * 4));
        EXPECT_EQ(status, Status());
    }
}

TEST_F(CFileInputSourceTest, StartsAgainFromTheFirstPacketAfterAStopOrAtTheEndOfALoop)
{
    ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 100), "fast, off"));
    ASSERT_TRUE(m_source->Start());
    std::vector<int> numbers;
    ASSERT_TRUE(ReadAtLeast(numbers, 5)) << Status();
    EXPECT_TRUE(m_source->Stop());
    ASSERT_TRUE(m_source->Start());
    numbers.clear();
    EXPECT_TRUE(ReadUntil(numbers, [&] { return m_finite->HasEnded(); })) << Status();
    EXPECT_EQ(Range(0, 100), numbers);

    ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 10), "fast, on"));
    ASSERT_TRUE(m_source->Start());
    numbers.clear();
    EXPECT_TRUE(ReadAtLeast(numbers, 35)) << Status();
    for (std::size_t i = 0; i < 35; ++i)
        EXPECT_EQ(int(i % 10), numbers[i]);
    EXPECT_FALSE(m_finite->HasEnded());
}

TEST_F(CFileInputSourceTest, HandsOutAFixedRate)
{
    // 2 Mbit/s is 1329.8 packets a second
    ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 4000), "2, off"));
    ASSERT_TRUE(m_source->Start());
    std::vector<int> numbers;
    EXPECT_EQ(0u, Read(numbers));   // nothing is due at the start
    m_clock.Advance(600 * kMs);
    ASSERT_TRUE(ReadAtLeast(numbers, 797)) << Status();
    EXPECT_EQ(0u, Read(numbers));   // 797.9 packets are due: the 798th is not
    m_clock.Advance(1 * kMs);   // 1.33 packets more: 799.2
    ASSERT_TRUE(ReadAtLeast(numbers, 799)) << Status();
    EXPECT_EQ(0u, Read(numbers));
    EXPECT_EQ(Range(0, 799), numbers);
}

TEST_F(CFileInputSourceTest, TakesARateTooHighToReachAsFast)
{
    // The definitions file is edited by hand: any rate it holds must be safe to play.CFileMultiplexDefinition.cpp:24-25)";
    for (const char* pacing : {"1e300", "inf"}) {
        ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 100), pacing)) << pacing;
        ASSERT_TRUE(m_source->Start());
        std::vector<int> numbers;
        EXPECT_TRUE(ReadUntil(numbers, [&] { return m_finite->HasEnded(); })) << Status();
        EXPECT_EQ(Range(0, 100), numbers) << pacing;
    }
}

TEST_F(CFileInputSourceTest, HandsOutPacketsAfterAPcrOnlyWhenItsTimeHasCome)
{
    // Packets 0, 10 and 20 carry PCRs 0.5 s apart.
    std::vector<BYTE> bytes;
    for (int number = 0; number < 30; ++number) {
        const std::vector<BYTE> packet = number % 10 == 0 ? CNumberedPackets::WithPcr(number, 45000 * (number / 10))
                                                          : CNumberedPackets::Packet(number);
        bytes.insert(bytes.end(), packet.begin(), packet.end());
    }
    ASSERT_NE(nullptr, Open(bytes, "pcr, off"));
    ASSERT_TRUE(m_source->Start());

    // The first read that finds packets anchors the clock at the first PCR.
    std::vector<int> numbers;
    ASSERT_TRUE(ReadAtLeast(numbers, 10)) << Status();
    EXPECT_EQ(Range(0, 10), numbers);
    for (int half = 1; half <= 2; ++half) {
        m_clock.Advance(500 * kMs - 1);
        EXPECT_EQ(0u, Read(numbers)) << "packet " << half * 10 << " came before its PCR's time";
        m_clock.Advance(1);
        ASSERT_TRUE(ReadAtLeast(numbers, std::size_t(half + 1) * 10)) << Status();
    }
    EXPECT_EQ(Range(0, 30), numbers);
    EXPECT_TRUE(ReadUntil(numbers, [&] { return m_finite->HasEnded(); })) << Status();
    EXPECT_EQ(30u, numbers.size());
    EXPECT_EQ("clip.ts, 100% played, in real time, at its end", Status());
}

TEST_F(CFileInputSourceTest, ShowsItsPacingAndHowMuchHasBeenPlayed)
{
    const std::pair<const char*, const char*> pacings[] = {
        {"pcr", "clip.ts, 0% played, in real time"},
        {"2", "clip.ts, 0% played, at 2.00 Mbit/s"},
    };
    for (const auto& [pacing, status] : pacings) {
        ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 10), pacing));
        EXPECT_EQ(status, Status());
    }
    // the second file ends in part of a packet, which counts as played at the end
    for (std::size_t tail : {0, 150}) {
        std::vector<BYTE> bytes = CNumberedPackets::Stream(0, 100);
        bytes.resize(bytes.size() + tail, 0x55);
        ASSERT_NE(nullptr, Open(bytes, "fast, off"));
        ASSERT_TRUE(m_source->Start());
        std::vector<int> numbers;
        ASSERT_TRUE(ReadUntil(numbers, [&] { return numbers.size() == 50; }, 188 * 10)) << Status();
        EXPECT_EQ("clip.ts, 50% played, as fast as it is read", Status());
        ASSERT_TRUE(ReadUntil(numbers, [&] { return m_finite->HasEnded(); })) << Status();
        EXPECT_EQ("clip.ts, 100% played, as fast as it is read, at its end", Status());
    }
}

TEST_F(CFileInputSourceTest, ClosesWhileTheReaderIsBusyOrLoopsOnAPartialPacket)
{
    // more than the 16384 packets the source reads ahead: the reader is still reading, or
    // waits for room, when the source closes
    ASSERT_NE(nullptr, Open(CNumberedPackets::Stream(0, 20000), "fast, off"));
    ASSERT_TRUE(m_source->Start());
    std::vector<int> numbers;
    ASSERT_TRUE(ReadAtLeast(numbers, 1)) << Status();
    EXPECT_TRUE(m_plugin->CloseMultiplex(m_source));
    // one packet and a cut one: a looping reader must not spin on it
    std::vector<BYTE> bytes = CNumberedPackets::Stream(0, 2);
    bytes.resize(188 + 100);
    bytes.resize(376, 0x00);
    m_source = nullptr;
    ASSERT_NE(nullptr, Open(bytes, "fast, on"));
    ASSERT_TRUE(m_source->Start());
    EXPECT_TRUE(m_plugin->CloseMultiplex(m_source));
    m_source = nullptr;
}

}  // namespace
