// The ring between a receive thread and a decode thread, and when DecodeStream runs.
#include "decode/CDVBPullReceiver.h"

#include "core/CDVBBuffer.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBProgramClock.h"
#include "platform/CEvent.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

// A PES start of video with a PTS (flags 2), or a PTS and a DTS (flags 3), all of 0.
Bytes PesStart(WORD pid, BYTE flags, BYTE scrambling = 0)
{
    Bytes packet = CTestPacket::Pes(pid, {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, BYTE(flags << 6), BYTE(flags == 3 ? 10 : 5),
                                          0x31, 0x00, 0x01, 0x00, 0x01, 0x11, 0x00, 0x01, 0x00, 0x01});
    packet[3] |= BYTE(scrambling << 6);
    return packet;
}

// DecodeStream counts its calls, then does what the test gives it.
class CTestPullReceiver : public CDVBPullReceiver
{
public:
    explicit CTestPullReceiver(int count, int size, std::function<void(CTestPullReceiver&)> decode = {})
        : CDVBPullReceiver(count, size), m_decode(std::move(decode)) {}
    ~CTestPullReceiver() override { StopAndWait(); }
    using CDVBPullReceiver::OnTimestamps;
    using CDVBPullReceiver::ReadCompressedData;
    using CDVBPullReceiver::WriteCompressedData;
    using CDVBPullReceiver::m_emptyBuffers;
    using CDVBPullReceiver::m_filledBuffers;
    using CDVBPullReceiver::m_stopEvent;
    using CDVBPullReceiver::m_writeBuffer;
    std::atomic<int> m_decodeCalls{0};

protected:
    void DecodeStream() override
    {
        ++m_decodeCalls;
        if (m_decode)
            m_decode(*this);
    }
    std::function<void(CTestPullReceiver&)> m_decode;
};

}  // namespace

TEST(CDVBPullReceiverTest, TheRingKeepsWhatFitsAndDropsTheRestWithoutWaiting)
{
    CTestPullReceiver receiver(4, 100);
    Bytes in(250), out(300);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = BYTE(i);
    EXPECT_EQ(receiver.WriteCompressedData(in.data(), 250), 250u);
    EXPECT_EQ(receiver.ReadCompressedData(out.data(), 300), 200u) << "the two full buffers, at once";
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 200, out.begin()));
    EXPECT_EQ(receiver.WriteCompressedData(in.data(), 250), 250u);   // 50 more, then two full
    Bytes more(200, 7);
    EXPECT_EQ(receiver.WriteCompressedData(more.data(), 200), 100u) << "the ring is full";
    EXPECT_EQ(receiver.WriteCompressedData(more.data(), 200), 0u);
    receiver.Stop();   // the half-filled buffer joins the filled ones; a stopped read does not wait
    EXPECT_EQ(receiver.ReadCompressedData(out.data(), 300), 300u);
    EXPECT_EQ(receiver.ReadCompressedData(out.data(), 300), 100u);
    EXPECT_EQ(receiver.ReadCompressedData(out.data(), 300), 0u);
}

TEST(CDVBPullReceiverTest, PacketsStartAtAPESStartAndTimeStampsStartABuffer)
{
    CTestPullReceiver receiver(8, 1000);
    // data before the first start, a PTS, a PTS and a DTS, then a scrambled start
    for (Bytes packet : {CTestPacket::Payload(0x100, false, 0xAA), PesStart(0x100, 2), PesStart(0x100, 3),
                         PesStart(0x100, 2, 2)})
        receiver.OnReceivePacket(0, packet.data());
    receiver.Stop();
    std::vector<DWORD> flags;
    while (CDVBBuffer* buffer = receiver.m_filledBuffers.RemoveBuffer()) {
        flags.push_back(buffer->m_timeStampFlags);
        EXPECT_EQ(buffer->m_pts, 0);
        EXPECT_EQ(buffer->m_used, flags.back() == 3 ? 184u - 19 : 184u - 14) << "the bytes after the header";
        receiver.m_emptyBuffers.AddBuffer(buffer);
    }
    EXPECT_EQ(flags, (std::vector<DWORD>{1, 3})) << "no buffer for the loose or the scrambled packet";
    CDVBProgramClock clock;   // with a program clock the buffer says it was asked, answer or not
    receiver.SetProgramClock(&clock);
    receiver.OnTimestamps(1, 0, 0);
    ASSERT_NE(receiver.m_writeBuffer, nullptr);
    EXPECT_EQ(receiver.m_writeBuffer->m_timeStampFlags, 5u);
}

// Stopped before it is in use (registered, given a packet or started), DecodeStream would run
// on a half-destroyed object; once in use it runs, as the stuck decoder below shows.
TEST(CDVBPullReceiverTest, DecodeStreamNeverRunsAfterAStopBeforeTheObjectIsInUse)
{
    CTestPullReceiver receiver(2, 10);
    receiver.Stop();
    EXPECT_EQ(receiver.m_decodeCalls, 0);
}

// Hung in a display, say: Stop gives up after its second and says so, a Start meanwhile starts
// no second thread, and the object waits for it when it goes.
TEST(CDVBPullReceiverTest, AStuckDecodeStreamIsGivenUpAfterASecondAndWaitedForAtTheEnd)
{
    CDebugLineCatcher lines;
    CEvent entered(true, false), release(true, false);
    std::atomic<bool> returned{false};
    CTestPullReceiver receiver(2, 10, [&](CTestPullReceiver&) {
        entered.Set();
        release.Wait(INFINITE);
        returned = true;
    });
    receiver.SetPID(0x100);
    ASSERT_EQ(entered.Wait(10000), WAIT_OBJECT_0);
    const auto start = std::chrono::steady_clock::now();
    receiver.Stop();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(CDVBPullReceiver::StopTimeoutMs));
    EXPECT_FALSE(returned);
    EXPECT_EQ(lines.Lines().size(), 1u);
    receiver.Start();
    release.Set();
    receiver.StopAndWait();
    EXPECT_TRUE(returned);
    EXPECT_EQ(receiver.m_decodeCalls, 1);
}

namespace {

// PES packets on PIDs 0x100 and 0x101, a few every read, for as long as it is read.
struct CPESSource : CDVBTransportStreamSource
{
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override
    {
        DWORD n = 0;
        for (int i = 0; i < 8 && n + 188 <= size; ++i, n += 188) {
            const Bytes packet = i % 4 == 0 ? PesStart(WORD(0x100 + i / 4 % 2), 2) : CTestPacket::Payload(WORD(0x100 + i / 4 % 2));
            std::copy(packet.begin(), packet.end(), buffer + n);
        }
        return n;
    }
};

}  // namespace

// While the receive thread feeds them, each drains its ring as a decoder would: the sanitizer
// runs look for races and leaks.
TEST(CDVBPullReceiverTest, TwoDecodersComeAndGoAHundredTimesWhileTheReceiverRuns)
{
    CPESSource source;
    CEvent fed[2] = {{true, false}, {true, false}};   // outlive the receiver, which deletes decoders left
    CDVBTransportStreamReceiver receiver(&source, nullptr);
    ASSERT_TRUE(receiver.Initialise());
    receiver.Start();
    for (int round = 0; round < 100; ++round) {
        GUID cookies[2];
        CTestPullReceiver* decoders[2];
        for (int i = 0; i < 2; ++i) {
            fed[i].Reset();
            cookies[i].Data1 = DWORD(i + 1);
            decoders[i] = new CTestPullReceiver(4, 1000, [&fed, i](CTestPullReceiver& self) {
                BYTE chunk[500];
                while (self.ReadCompressedData(chunk, sizeof chunk) > 0 || !self.m_stopEvent.IsSet())
                    fed[i].Set();
            });
            decoders[i]->SetCookie(&cookies[i]);
            receiver.AddPIDReceiver(WORD(0x100 + i), decoders[i]);
        }
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(fed[i].Wait(10000), WAIT_OBJECT_0) << round;
            ASSERT_EQ(receiver.RemovePIDReceiverWithCookie(WORD(0x100 + i), &cookies[i]), decoders[i]);
            delete decoders[i];   // stops its decode thread
        }
    }
    receiver.Stop();
    EXPECT_TRUE(receiver.WaitForStop(10000));
    receiver.DeInitialise();
}
