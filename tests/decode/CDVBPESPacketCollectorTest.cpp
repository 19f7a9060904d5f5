#include "decode/CDVBPESPacketCollector.h"

#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <vector>

using Bytes = std::vector<BYTE>;

TEST(CDVBPESPacketCollectorTest, CollectsOnePESPacketAndFindsItsData)
{
    CDVBPESPacketCollector collector;
    Bytes start = CTestPacket::Pes(0x100, {0x00, 0x00, 0x01, 0xE0, 0x00, 178, 0x80, 0x80, 5, 0x21, 0, 1, 0, 1});
    collector.AddPacket(start.data());
    EXPECT_TRUE(collector.IsComplete());
    BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(collector.GetInternalData(data, size));
    EXPECT_EQ(size, 170u);
    Bytes lying = CTestPacket::Pes(0x100, {0x00, 0x00, 0x01, 0xE0, 0x00, 0x00, 0x80, 0x80, 200});
    collector.AddPacket(lying.data());   // a header length past the collected bytes
    EXPECT_FALSE(collector.GetInternalData(data, size));
    Bytes more = CTestPacket::Payload(0x100);
    for (int i = 0; i < 400; ++i)
        collector.AddPacket(more.data());
    EXPECT_EQ(collector.GetCurrentSize(), CDVBPESPacketCollector::BufferSize);   // the rest dropped
    Bytes restart = CTestPacket::WithAdaptation(0x100, 2, 183);
    restart[1] |= 0x40;
    collector.AddPacket(restart.data());   // no payload, but a unit start: empty again
    EXPECT_EQ(collector.GetCurrentSize(), 0u);
}
