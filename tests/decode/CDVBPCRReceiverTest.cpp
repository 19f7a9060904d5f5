#include "decode/CDVBPCRReceiver.h"

#include "tests/support/CTestPacket.h"

#include <vector>

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<BYTE>;

Bytes PcrPacket(std::uint64_t pcr)
{
    return CTestPacket::Pcr(0x100, pcr);
}

void Feed(CDVBPCRReceiver& receiver, std::uint64_t packetNumber, Bytes packet)
{
    receiver.OnReceivePacket(packetNumber, packet.data());
}

}  // namespace

TEST(CDVBPCRReceiverTest, BitrateAndClockFromTwoSamples)
{
    CDVBPCRReceiver receiver;
    EXPECT_EQ(receiver.GetType(), CDVBPIDReceiver::TypePCR);
    std::int64_t clock = -1;
    EXPECT_EQ(receiver.GetBitrate(), 0);
    EXPECT_FALSE(receiver.GetClockAtPacket(0, clock));
    Feed(receiver, 0, PcrPacket(0));
    EXPECT_FALSE(receiver.GetClockAtPacket(0, clock));   // one sample: no rate
    Feed(receiver, 100, PcrPacket(9000));
    EXPECT_EQ(receiver.GetBitrate(), 1504000);
    ASSERT_TRUE(receiver.GetClockAtPacket(150, clock));
    EXPECT_EQ(clock, 13500);
}

// A reader takes the packet count, then a PCR sample lands before it asks: the count lies
// behind the newest sample, and the clock must lie just behind it too, not hours ahead.
TEST(CDVBPCRReceiverTest, ClockAtACountOlderThanTheNewestSample)
{
    CDVBPCRReceiver receiver;
    Feed(receiver, 0, PcrPacket(90000));
    Feed(receiver, 100, PcrPacket(99000));
    std::int64_t clock = 0;
    ASSERT_TRUE(receiver.GetClockAtPacket(50, clock));
    EXPECT_EQ(clock, 94500);
    ASSERT_TRUE(receiver.GetClockAtTime(1000.0, 10000.0, 50, 10000.0, clock));
    EXPECT_EQ(clock, 94500);
}

TEST(CDVBPCRReceiverTest, APairAcrossTheWrapIsLeftOut)
{
    CDVBPCRReceiver receiver;
    const std::uint64_t top = (std::uint64_t(1) << 33) - 4500;
    Feed(receiver, 0, PcrPacket(top - 9000));
    Feed(receiver, 100, PcrPacket(top));
    Feed(receiver, 200, PcrPacket(4500));   // wrapped
    EXPECT_EQ(receiver.GetBitrate(), 1504000);   // only the first pair counts
    std::int64_t clock = 0;
    ASSERT_TRUE(receiver.GetClockAtPacket(300, clock));
    EXPECT_EQ(clock, 4500 + 9000);   // on from the newest, small PCR
}

TEST(CDVBPCRReceiverTest, KeepsTheEightNewestAndIgnoresPacketsWithoutAPCR)
{
    CDVBPCRReceiver receiver;
    // the first pair is slow; once it is pushed out the rate is the fast one
    Feed(receiver, 0, PcrPacket(0));
    Feed(receiver, 10, PcrPacket(90000));
    for (int i = 1; i <= 8; ++i)
        Feed(receiver, 10 + std::uint64_t(i) * 100, PcrPacket(90000 + std::uint64_t(i) * 9000));
    EXPECT_EQ(receiver.GetBitrate(), 1504000);

    CDVBPCRReceiver none;
    Bytes empty = CTestPacket::WithAdaptation(0x100, 3, 0);   // no flags byte
    empty[5] = 0x10;
    Feed(none, 0, empty);
    Feed(none, 1, CTestPacket::Payload(0x100));
    Bytes flagless = PcrPacket(100);
    flagless[5] = 0;
    Feed(none, 2, flagless);
    Feed(none, 3, PcrPacket(1000));
    std::int64_t clock = 0;
    EXPECT_FALSE(none.GetClockAtPacket(3, clock));   // one sample only
}

TEST(CDVBPCRReceiverTest, ClockAtATimeFollowsTheSystemClock)
{
    CDVBPCRReceiver receiver;
    Feed(receiver, 0, PcrPacket(0));
    Feed(receiver, 1000, PcrPacket(90000));   // 1000 packets a second
    std::int64_t clock = 0;
    // reference point: 1000 packets at system time 10.0 s (frequency 1000): the newest
    // PCR arrived then, so half a second later the clock is half a second on
    ASSERT_TRUE(receiver.GetClockAtTime(1000.0, 10000.0, 1000, 10500.0, clock));
    EXPECT_EQ(clock, 90000 + 45000);
}
