#include "core/CDVBPCRReceiver.h"

#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

static void Feed(CDVBPCRReceiver& receiver, std::uint64_t packetNumber, std::vector<BYTE> packet)
{
    receiver.OnReceivePacket(packetNumber, packet.data());
}

// Samples 100 packets a tenth of a second apart: 1000 packets, 1504000 bits a second. A pair
// across the wrap is left out; eight newer samples push out a slow first pair; packets
// without a PCR (no flags byte, no adaptation field, no PCR flag) are no samples.
TEST(CDVBPCRReceiverTest, BitrateAndClockFromTheNewestSamplesLeavingOutTheWrapAndPacketsWithoutAPCR)
{
    CDVBPCRReceiver receiver, wrapped, pushed, none;
    std::int64_t clock = -1;
    EXPECT_EQ(receiver.GetBitrate(), 0);
    EXPECT_FALSE(receiver.GetClockAtPacket(0, clock)) << "no sample";
    Feed(receiver, 0, CTestPacket::Pcr(0x100, 90000));
    EXPECT_FALSE(receiver.GetClockAtPacket(0, clock)) << "one sample: no rate";
    Feed(receiver, 100, CTestPacket::Pcr(0x100, 99000));
    EXPECT_EQ(receiver.GetBitrate(), 1504000);
    ASSERT_TRUE(receiver.GetClockAtPacket(150, clock));
    EXPECT_EQ(clock, 99000 + 4500) << "after the newest sample";
    // a reader took the count before the newest sample landed: just behind it, not hours ahead
    ASSERT_TRUE(receiver.GetClockAtPacket(50, clock));
    EXPECT_EQ(clock, 94500) << "before the newest sample";
    ASSERT_TRUE(receiver.GetClockAtTime(1000.0, 10000.0, 50, 10500.0, clock));
    EXPECT_EQ(clock, 94500 + 45000) << "half a second after a reference point before the newest sample";

    const std::uint64_t top = (std::uint64_t(1) << 33) - 4500;
    Feed(wrapped, 0, CTestPacket::Pcr(0x100, top - 9000));
    Feed(wrapped, 100, CTestPacket::Pcr(0x100, top));
    Feed(wrapped, 200, CTestPacket::Pcr(0x100, 4500));
    EXPECT_EQ(wrapped.GetBitrate(), 1504000) << "only the pair before the wrap counts";
    ASSERT_TRUE(wrapped.GetClockAtPacket(300, clock));
    EXPECT_EQ(clock, 4500 + 9000) << "on from the newest, small PCR";

    Feed(pushed, 0, CTestPacket::Pcr(0x100, 0));
    Feed(pushed, 10, CTestPacket::Pcr(0x100, 90000));   // 10 packets a second
    for (std::uint64_t i = 1; i <= 8; ++i)
        Feed(pushed, 10 + i * 100, CTestPacket::Pcr(0x100, 90000 + i * 9000));
    EXPECT_EQ(pushed.GetBitrate(), 1504000) << "the slow pair is pushed out";

    auto empty = CTestPacket::WithAdaptation(0x100, 3, 0), flagless = CTestPacket::Pcr(0x100, 100);
    empty[5] = 0x10;
    flagless[5] = 0;
    for (const auto& packet : {empty, CTestPacket::Payload(0x100), flagless})
        Feed(none, 1, packet);
    Feed(none, 3, CTestPacket::Pcr(0x100, 1000));
    EXPECT_FALSE(none.GetClockAtPacket(3, clock)) << "one sample only";
}
