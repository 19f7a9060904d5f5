#include "core/CDVBPIDReceiver.h"

#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

constexpr std::int64_t kMax = 8589934591LL;

// A PES header with a PTS of kMax then a DTS of 0 after its 9 fixed bytes.
static std::vector<BYTE> PesHeader(WORD packetLength, BYTE ptsDtsFlags, BYTE headerLength)
{
    return {0x00, 0x00, 0x01, 0xE0, BYTE(packetLength >> 8), BYTE(packetLength), 0x80, BYTE(ptsDtsFlags << 6),
            headerLength, 0x2F, 0xFF, 0xFF, 0xFF, 0xFF, 0x21, 0, 1, 0, 1};
}

// Each adaptation_field_control, and field lengths at the edge of the packet.
TEST(CDVBPIDReceiverTest, PayloadAndAdaptationFieldFollowTheControlAndTheFieldLength)
{
    struct Case { BYTE control, fieldLength; int payloadAt; DWORD payloadLength; bool fieldFits; };
    for (const Case& c : {Case{0, 0, -1, 0, false}, Case{1, 0, 4, 184, false}, Case{2, 183, -1, 0, true},
                          Case{3, 182, 187, 1, true}, Case{3, 183, -1, 0, true}, Case{3, 184, -1, 0, false}}) {
        SCOPED_TRACE(testing::Message() << int(c.control) << "/" << int(c.fieldLength));
        auto packet = CTestPacket::WithAdaptation(0x100, c.control, c.fieldLength);
        BYTE *p = nullptr, fieldLength = 0;
        DWORD length = 99;
        EXPECT_EQ(CDVBPIDReceiver::GetPacketPayload(packet.data(), p, length), c.payloadAt >= 0);
        EXPECT_EQ(p, c.payloadAt >= 0 ? packet.data() + c.payloadAt : nullptr);
        EXPECT_EQ(length, c.payloadLength);
        EXPECT_EQ(CDVBPIDReceiver::GetPacketAdaptationField(packet.data(), p, fieldLength), c.fieldFits);
        EXPECT_EQ(p, (c.control & 2) ? packet.data() + 4 : nullptr) << "a field too long is still located";
    }
}

// Which timestamps a header yields as its lengths shrink around them; then in a packet, where
// only a unit start has a header, and elementary data starts after its length.
TEST(CDVBPIDReceiverTest, TimeStampsAndDataReadOnlyWhatTheLengthsAllow)
{
    struct Case { WORD packetLength; BYTE flags, headerLength; DWORD expected; };
    for (const Case& c : {Case{0, 3, 10, 3}, Case{0, 3, 5, 1}, Case{7, 3, 10, 0}, Case{12, 3, 10, 1},
                          Case{0, 1, 5, 2}, Case{0, 0, 10, 0}}) {
        SCOPED_TRACE(testing::Message() << c.packetLength << "/" << int(c.flags) << "/" << int(c.headerLength));
        auto header = PesHeader(c.packetLength, c.flags, c.headerLength);
        std::int64_t pts = -1, dts = -1;
        EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPESData(header.data(), DWORD(header.size()), pts, dts), c.expected);
        EXPECT_EQ(pts, (c.expected & 1) ? kMax : -1);
        EXPECT_EQ(dts, (c.expected & 2) ? (c.flags == 1 ? kMax : 0) : -1) << "DTS alone: the first timestamp";
    }

    auto start = CTestPacket::Pes(0x100, PesHeader(0, 2, 5)), continuation = start;
    continuation[1] &= BYTE(~0x40);
    std::int64_t pts = -1, dts = -1;
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPacket(continuation.data(), pts, dts), 0u);
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPacket(start.data(), pts, dts), 1u);
    EXPECT_EQ(pts, kMax);
    BYTE* data = nullptr;
    DWORD size = 0;
    ASSERT_TRUE(CDVBPIDReceiver::GetPESInternalData(start.data(), data, size));
    EXPECT_EQ(data, start.data() + 4 + 9 + 5);
    EXPECT_EQ(size, 188u - 18);
    ASSERT_TRUE(CDVBPIDReceiver::GetPESInternalData(continuation.data(), data, size));
    EXPECT_EQ(size, 184u) << "a continuation is all data";
    auto lying = CTestPacket::Pes(0x100, PesHeader(0, 2, 180));
    EXPECT_FALSE(CDVBPIDReceiver::GetPESInternalData(lying.data(), data, size)) << "header past the payload";
    auto tiny = CTestPacket::WithAdaptation(0x100, 3, 176);
    tiny[1] |= 0x40;
    EXPECT_FALSE(CDVBPIDReceiver::GetPESInternalData(tiny.data(), data, size)) << "fewer than 9 payload bytes";
}

// Every control and adaptation_field_length, each followed where it fits by a PES header,
// cut short by the packet's end and with header lengths that run past it: the sanitizer run
// fails on any read outside the 188 bytes; the checks pin every pointer handed out.
TEST(CDVBPIDReceiverTest, NoOperationReachesOutsideThePacket)
{
    for (int control = 0; control < 4; ++control)
        for (int length = 0; length < 256; ++length)
            for (BYTE headerLength : {0, 5, 10, 170, 255}) {
                auto packet = CTestPacket::WithAdaptation(0x100, BYTE(control), BYTE(length));
                packet[1] |= 0x40;
                const auto header = PesHeader(0, 3, headerLength);
                const std::size_t at = control == 1 ? 4 : 5 + std::size_t(length);
                if ((control & 1) && at < 188)
                    std::copy_n(header.begin(), std::min(header.size(), 188 - at), packet.begin() + at);
                auto inside = [&](const BYTE* p, DWORD n) { return p >= packet.data() && p + n <= packet.data() + 188; };
                BYTE *p = nullptr, fieldLength = 0;
                DWORD n = 0;
                std::int64_t pts = 0, dts = 0;
                EXPECT_TRUE(!CDVBPIDReceiver::GetPacketPayload(packet.data(), p, n) || inside(p, n));
                EXPECT_TRUE(!CDVBPIDReceiver::GetPacketAdaptationField(packet.data(), p, fieldLength) ||
                            inside(p, DWORD(fieldLength) + 1));
                EXPECT_TRUE(!CDVBPIDReceiver::GetPESInternalData(packet.data(), p, n) || inside(p, n));
                CDVBPIDReceiver::GetTimeStampsFromPacket(packet.data(), pts, dts);
            }
}
