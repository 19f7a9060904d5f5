#include "core/CDVBPIDReceiver.h"

#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// A PES header: prefix, stream id, length, flags, header length, then optional bytes.
std::vector<BYTE> PesHeader(WORD packetLength, BYTE ptsDtsFlags, BYTE headerLength,
                            const std::vector<BYTE>& optional)
{
    std::vector<BYTE> header = {0x00, 0x00, 0x01, 0xE0, BYTE(packetLength >> 8), BYTE(packetLength),
                                0x80, BYTE(ptsDtsFlags << 6), headerLength};
    header.insert(header.end(), optional.begin(), optional.end());
    return header;
}

const std::vector<BYTE> kPtsZero = {0x21, 0x00, 0x01, 0x00, 0x01};
const std::vector<BYTE> kPtsMax = {0x2F, 0xFF, 0xFF, 0xFF, 0xFF};

std::vector<BYTE> Concat(std::vector<BYTE> a, const std::vector<BYTE>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(CDVBPIDReceiverTest, NewReceiverHasItsDefaults)
{
    CDVBPIDReceiver receiver;
    EXPECT_EQ(receiver.GetPID(), 0xFFFF);
    EXPECT_EQ(receiver.GetType(), CDVBPIDReceiver::TypePlain);
    EXPECT_EQ(receiver.m_programClock, nullptr);
    GUID zero;
    EXPECT_TRUE(receiver.HasCookie(&zero));
    GUID cookie;
    cookie.Data4[7] = 1;
    receiver.SetCookie(&cookie);
    EXPECT_TRUE(receiver.HasCookie(&cookie));
    EXPECT_FALSE(receiver.HasCookie(&zero));
    EXPECT_FALSE(receiver.HasCookie(nullptr));
    CDVBPIDReceiver copy(receiver);
    EXPECT_TRUE(copy.HasCookie(&cookie));
}

TEST(CDVBPIDReceiverTest, PayloadFollowsTheAdaptationFieldControl)
{
    BYTE* payload = nullptr;
    DWORD length = 99;
    for (BYTE control : {0, 2}) {   // no payload
        auto packet = CTestPacket::WithAdaptation(0x100, control, 0);
        EXPECT_FALSE(CDVBPIDReceiver::GetPacketPayload(packet.data(), payload, length));
        EXPECT_EQ(payload, nullptr);
        EXPECT_EQ(length, 0u);
    }
    auto plain = CTestPacket::WithAdaptation(0x100, 1, 0);
    ASSERT_TRUE(CDVBPIDReceiver::GetPacketPayload(plain.data(), payload, length));
    EXPECT_EQ(payload, plain.data() + 4);
    EXPECT_EQ(length, 184u);

    auto lastByte = CTestPacket::WithAdaptation(0x100, 3, 182);
    ASSERT_TRUE(CDVBPIDReceiver::GetPacketPayload(lastByte.data(), payload, length));
    EXPECT_EQ(payload, lastByte.data() + 187);
    EXPECT_EQ(length, 1u);

    auto full = CTestPacket::WithAdaptation(0x100, 3, 183);
    EXPECT_FALSE(CDVBPIDReceiver::GetPacketPayload(full.data(), payload, length));
    EXPECT_EQ(payload, nullptr);
}

TEST(CDVBPIDReceiverTest, AdaptationFieldThatDoesNotFitIsReportedButRefused)
{
    BYTE* field = nullptr;
    BYTE length = 0;
    auto fits = CTestPacket::WithAdaptation(0x100, 2, 183);
    EXPECT_TRUE(CDVBPIDReceiver::GetPacketAdaptationField(fits.data(), field, length));
    EXPECT_EQ(field, fits.data() + 4);
    EXPECT_EQ(length, 183);
    auto tooLong = CTestPacket::WithAdaptation(0x100, 3, 184);
    EXPECT_FALSE(CDVBPIDReceiver::GetPacketAdaptationField(tooLong.data(), field, length));
    EXPECT_EQ(field, tooLong.data() + 4);
    EXPECT_EQ(length, 184);
    auto none = CTestPacket::WithAdaptation(0x100, 1, 0);
    EXPECT_FALSE(CDVBPIDReceiver::GetPacketAdaptationField(none.data(), field, length));
    EXPECT_EQ(field, nullptr);
}

TEST(CDVBPIDReceiverTest, TimeStampsDecodeAcrossTheir33Bits)
{
    std::int64_t pts = -1, dts = -1;
    auto zero = PesHeader(0, 2, 5, kPtsZero);
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPESData(zero.data(), DWORD(zero.size()), pts, dts), 1u);
    EXPECT_EQ(pts, 0);
    EXPECT_EQ(dts, -1);
    auto max = PesHeader(0, 2, 5, kPtsMax);
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPESData(max.data(), DWORD(max.size()), pts, dts), 1u);
    EXPECT_EQ(pts, 8589934591LL);
}

// Which timestamps a header yields as its lengths shrink around them.
struct TimeStampCase
{
    const char* name;
    WORD packetLength;
    BYTE flags;
    BYTE headerLength;
    DWORD expected;
};

void PrintTo(const TimeStampCase& c, std::ostream* out)
{
    *out << c.name;
}

class CDVBPIDReceiverTimeStamps : public ::testing::TestWithParam<TimeStampCase> {};

TEST_P(CDVBPIDReceiverTimeStamps, ReadOnlyWhatTheLengthsAllow)
{
    const TimeStampCase& c = GetParam();
    auto header = PesHeader(c.packetLength, c.flags, c.headerLength, Concat(kPtsMax, kPtsZero));
    std::int64_t pts = -1, dts = -1;
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPESData(header.data(), DWORD(header.size()), pts, dts),
              c.expected);
    EXPECT_EQ(pts, (c.expected & 1) ? 8589934591LL : -1);
    // with DTS alone the first timestamp is taken as the DTS
    const std::int64_t expectedDts = c.flags == 1 ? 8589934591LL : 0;
    EXPECT_EQ(dts, (c.expected & 2) ? expectedDts : -1);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, CDVBPIDReceiverTimeStamps,
    ::testing::Values(TimeStampCase{"both", 0, 3, 10, 3}, TimeStampCase{"headerCutsDts", 0, 3, 5, 1},
                      TimeStampCase{"packetLengthCutsAll", 7, 3, 10, 0},
                      TimeStampCase{"packetLengthCutsDts", 12, 3, 10, 1},
                      TimeStampCase{"dtsAlone", 0, 1, 5, 2}, TimeStampCase{"none", 0, 0, 10, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CDVBPIDReceiverTest, TimeStampsOfAPacketNeedAUnitStart)
{
    std::int64_t pts = -1, dts = -1;
    auto start = CTestPacket::Pes(0x100, PesHeader(0, 2, 5, kPtsMax));
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPacket(start.data(), pts, dts), 1u);
    auto continuation = start;
    continuation[1] &= BYTE(~0x40);
    pts = -1;
    EXPECT_EQ(CDVBPIDReceiver::GetTimeStampsFromPacket(continuation.data(), pts, dts), 0u);
    EXPECT_EQ(pts, -1);
}

TEST(CDVBPIDReceiverTest, PESInternalDataSkipsTheHeaderOfAStartingPacketOnly)
{
    BYTE* data = nullptr;
    DWORD size = 0;
    auto start = CTestPacket::Pes(0x100, PesHeader(0, 2, 5, kPtsZero));
    ASSERT_TRUE(CDVBPIDReceiver::GetPESInternalData(start.data(), data, size));
    EXPECT_EQ(size, 170u);
    EXPECT_EQ(data, start.data() + 188 - 170);

    auto continuation = start;
    continuation[1] &= BYTE(~0x40);
    ASSERT_TRUE(CDVBPIDReceiver::GetPESInternalData(continuation.data(), data, size));
    EXPECT_EQ(size, 184u);

    // a header longer than the payload left
    auto lying = CTestPacket::Pes(0x100, PesHeader(0, 2, 180, kPtsZero));
    EXPECT_FALSE(CDVBPIDReceiver::GetPESInternalData(lying.data(), data, size));
    // a starting packet with fewer than 9 payload bytes
    auto tiny = CTestPacket::WithAdaptation(0x100, 3, 176);
    tiny[1] |= 0x40;
    EXPECT_FALSE(CDVBPIDReceiver::GetPESInternalData(tiny.data(), data, size));
}

// Every adaptation_field_length and random packets: the sanitizer run fails on any read
// outside the 188 bytes; the checks here pin every pointer handed out inside them.
TEST(CDVBPIDReceiverTest, NoOperationReachesOutsideThePacket)
{
    auto inside = [](const std::vector<BYTE>& packet, const BYTE* p, DWORD n) {
        return p >= packet.data() && p + n <= packet.data() + packet.size();
    };
    auto exercise = [&](std::vector<BYTE>& packet) {
        BYTE* p = nullptr;
        DWORD n = 0;
        BYTE fieldLength = 0;
        std::int64_t pts = 0, dts = 0;
        if (CDVBPIDReceiver::GetPacketPayload(packet.data(), p, n)) {
            EXPECT_TRUE(inside(packet, p, n));
        }
        if (CDVBPIDReceiver::GetPacketAdaptationField(packet.data(), p, fieldLength)) {
            EXPECT_TRUE(inside(packet, p, DWORD(fieldLength) + 1));
        }
        if (CDVBPIDReceiver::GetPESInternalData(packet.data(), p, n)) {
            EXPECT_TRUE(inside(packet, p, n));
        }
        CDVBPIDReceiver::GetTimeStampsFromPacket(packet.data(), pts, dts);
    };
    for (int control = 0; control < 4; ++control) {
        for (int length = 0; length < 256; ++length) {
            auto packet = CTestPacket::WithAdaptation(0x100, BYTE(control), BYTE(length));
            packet[1] |= 0x40;
            exercise(packet);
        }
    }
    std::mt19937 random(1234);
    std::vector<BYTE> packet(188);
    for (int i = 0; i < 20000; ++i) {
        for (BYTE& b : packet)
            b = BYTE(random());
        exercise(packet);
    }
}
