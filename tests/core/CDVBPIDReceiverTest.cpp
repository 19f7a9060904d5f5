#include "core/CDVBPIDReceiver.h"

#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// A PES header with a PTS of 2^33 - 1 then a DTS of 0 after its 9 fixed bytes.
std::vector<BYTE> PesHeader(WORD packetLength, BYTE ptsDtsFlags, BYTE headerLength)
{
    const BYTE bytes[] = {0x00, 0x00, 0x01, 0xE0, BYTE(packetLength >> 8), BYTE(packetLength), 0x80,
                          BYTE(ptsDtsFlags << 6), headerLength, 0x2F, 0xFF, 0xFF, 0xFF, 0xFF, 0x21, 0, 1, 0, 1};
    return std::vector<BYTE>(std::begin(bytes), std::end(bytes));
}

constexpr std::int64_t kMax = 8589934591LL;

}  // namespace

// Each adaptation_field_control, and field lengths at the edge of the packet.
TEST(CDVBPIDReceiverTest, PayloadAndAdaptationFieldFollowTheControlAndTheFieldLength)
{
    struct Case { BYTE control, fieldLength; int payloadAt; DWORD payloadLength; bool fieldFits; };
    for (const Case& c : {Case{0, 0, -1, 0, false}, Case{1, 0, 4, 184, false}, Case{2, 183, -1, 0, true},
                          Case{3, 182, 187, 1, true}, Case{3, 183, -1, 0, true}, Case{3, 184, -1, 0, false}}) {
        SCOPED_TRACE(std::to_string(c.control) + "/" + std::to_string(c.fieldLength));
        auto packet = CTestPacket::WithAdaptation(0x100, c.control, c.fieldLength);
        BYTE* p = nullptr;
        DWORD length = 99;
        EXPECT_EQ(CDVBPIDReceiver::GetPacketPayload(packet.data(), p, length), c.payloadAt >= 0);
        EXPECT_EQ(p, c.payloadAt >= 0 ? packet.data() + c.payloadAt : nullptr);
        EXPECT_EQ(length, c.payloadLength);
        BYTE fieldLength = 0;
        EXPECT_EQ(CDVBPIDReceiver::GetPacketAdaptationField(packet.data(), p, fieldLength), c.fieldFits);
        EXPECT_EQ(p, (c.control & 2) ? packet.data() + 4 : nullptr);   // a field too long is still located
    }
}

// Which timestamps a header yields as its lengths shrink around them.
TEST(CDVBPIDReceiverTest, TimeStampsReadOnlyWhatTheLengthsAllow)
{
    struct Case { WORD packetLength; BYTE flags, headerLength; DWORD expected; };
    for (const Case& c : {Case{0, 3, 10, 3}, Case{0, 3, 5, 1}, Case{7, 3, 10, 0}, Case{12, 3, 10, 1},
                          Case{0, 1, 5, 2}, Case{0, 0, 10, 0}}) {
        SCOPED_TRACE(std::to_string(c.packetLength) + "/" + std::to_string(c.flags) + "/" +
                     std::to_string(c.headerLength));
        auto header = PesHeader(c.packetLength, c.flags, c.headerLength);
        std::int64_t pts = -1, dts = -1;
        EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPESData(header.data(), DWORD(header.size()), pts, dts), c.expected);
        EXPECT_EQ(pts, (c.expected & 1) ? kMax : -1);
        // with DTS alone the first timestamp is taken as the DTS
        EXPECT_EQ(dts, (c.expected & 2) ? (c.flags == 1 ? kMax : 0) : -1);
    }
}

// Only a unit start has a PES header: its timestamps, and elementary data after its length.
TEST(CDVBPIDReceiverTest, PacketsSkipTheHeaderOfAUnitStartOnlyAndRefuseOneThatDoesNotFit)
{
    auto start = CTestPacket::Pes(0x100, PesHeader(0, 2, 5));
    auto continuation = start;
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
    EXPECT_EQ(size, 184u);
    auto lying = CTestPacket::Pes(0x100, PesHeader(0, 2, 180));   // longer than the payload left
    EXPECT_FALSE(CDVBPIDReceiver::GetPESInternalData(lying.data(), data, size));
    auto tiny = CTestPacket::WithAdaptation(0x100, 3, 176);   // fewer than 9 payload bytes
    tiny[1] |= 0x40;
    EXPECT_FALSE(CDVBPIDReceiver::GetPESInternalData(tiny.data(), data, size));
}

// Every control and adaptation_field_length, then random packets: the sanitizer run fails on
// any read outside the 188 bytes; the checks pin every pointer handed out inside them.
TEST(CDVBPIDReceiverTest, NoOperationReachesOutsideThePacket)
{
    auto exercise = [](std::vector<BYTE>& packet) {
        auto inside = [&](const BYTE* p, DWORD n) { return p >= packet.data() && p + n <= packet.data() + 188; };
        BYTE* p = nullptr;
        DWORD n = 0;
        BYTE fieldLength = 0;
        std::int64_t pts = 0, dts = 0;
        EXPECT_TRUE(!CDVBPIDReceiver::GetPacketPayload(packet.data(), p, n) || inside(p, n));
        EXPECT_TRUE(!CDVBPIDReceiver::GetPacketAdaptationField(packet.data(), p, fieldLength) ||
                    inside(p, DWORD(fieldLength) + 1));
        EXPECT_TRUE(!CDVBPIDReceiver::GetPESInternalData(packet.data(), p, n) || inside(p, n));
        CDVBPIDReceiver::GetTimeStampsFromPacket(packet.data(), pts, dts);
    };
    for (int control = 0; control < 4; ++control)
        for (int length = 0; length < 256; ++length) {
            auto packet = CTestPacket::WithAdaptation(0x100, BYTE(control), BYTE(length));
            packet[1] |= 0x40;
            exercise(packet);
        }
    std::mt19937 random(1234);
    std::vector<BYTE> packet(188);
    for (int i = 0; i < 20000; ++i) {
        std::generate(packet.begin(), packet.end(), [&] { return BYTE(random()); });
        exercise(packet);
    }
}
