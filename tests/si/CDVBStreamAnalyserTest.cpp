// What the stream analyser counts that no committed stream, and no input plug-in, shows it:
// lost sync bytes (the inputs find the sync byte again before the analyser sees a packet)
// and scrambling without a CAT. Everything else is compared with an independent reading of
// real streams in LumrxAnalyzeTest.
#include "si/CDVBStreamAnalyser.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

TEST(CDVBStreamAnalyserTest, SyncIsLostAfterTwoBadSyncBytesAndBackAfterFiveGoodAndScramblingWantsACAT)
{
    CDVBStreamAnalyser analyser;
    std::vector<BYTE> packet = CTestPacket::Payload(0x100);
    int counter = 0;   // continuous over the good packets
    const auto feed = [&](bool good, int count) {
        for (int i = 0; i < count; ++i) {
            packet[0] = good ? 0x47 : 0x46;
            packet[3] = BYTE(0x10 | (good ? counter++ & 0x0F : 0));
            analyser.AnalysePackets(packet.data(), DWORD(packet.size()));
        }
    };
    feed(true, 3);
    feed(false, 1);   // one alone: an error, not a loss
    feed(true, 5);
    feed(false, 3);   // lost at the second (packet 10)
    feed(true, 4);
    feed(false, 2);   // still lost: four good packets are not five
    feed(true, 5);
    feed(false, 2);   // lost again
    const CDVBStreamAnalysis analysis = analyser.GetAnalysis();
    EXPECT_EQ(analysis.packets, 25u);
    EXPECT_EQ(analysis.invalidSyncs, 8u);
    EXPECT_EQ(analysis.indicators[CDVBStreamAnalysis::SyncByteError].firstPacket, 3u);
    EXPECT_EQ(analysis.indicators[CDVBStreamAnalysis::TSSyncLoss].count, 2u);
    EXPECT_EQ(analysis.indicators[CDVBStreamAnalysis::TSSyncLoss].firstPacket, 10u);
    ASSERT_EQ(analysis.pids.size(), 1u);
    EXPECT_EQ(analysis.pids[0].packets, 17u);   // a packet without its sync byte has no PID
    EXPECT_EQ(analysis.FirstPriorityState(), "TR 101 290 first priority: TS_sync_loss 2, Sync_byte_error 8");

    packet = CTestPacket::Payload(0x101);
    packet[3] = 0x90;   // scrambled, even key
    analyser.AnalysePackets(packet.data(), DWORD(packet.size()));
    EXPECT_EQ(analyser.GetCount(CDVBStreamAnalysis::CATError), 1u);
    analyser.Reset();
    EXPECT_EQ(analyser.GetAnalysis().packets, 0u);
    EXPECT_TRUE(analyser.GetAnalysis().IsFirstPriorityClean());
}
