#include "inputs/file/CTransportPacketFramer.h"

#include "tests/inputs/CNumberedPackets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <vector>

namespace {

std::vector<int> Range(int first, int count)
{
    std::vector<int> numbers(std::size_t(count), 0);
    std::iota(numbers.begin(), numbers.end(), first);
    return numbers;
}

std::vector<BYTE> Join(std::vector<BYTE> a, const std::vector<BYTE>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Feeds `bytes` in pieces of the given sizes (the last one repeated to the end), as a
// whole file (flushed at its end), and checks that every take holds whole packets only;
// the numbers of all packets taken.
std::vector<int> Frame(CTransportPacketFramer& framer, const std::vector<BYTE>& bytes,
                       const std::vector<std::size_t>& pieces)
{
    std::vector<BYTE> taken;
    std::size_t at = 0;
    for (std::size_t i = 0; at < bytes.size(); ++i) {
        const std::size_t size = std::min(pieces[std::min(i, pieces.size() - 1)], bytes.size() - at);
        std::vector<BYTE> piece(bytes.begin() + std::ptrdiff_t(at), bytes.begin() + std::ptrdiff_t(at + size));
        framer.Feed(piece.data(), piece.size());
        at += size;
        std::vector<BYTE> packets;
        framer.TakePackets(packets);
        EXPECT_EQ(0u, packets.size() % 188) << "after " << at << " bytes";
        taken.insert(taken.end(), packets.begin(), packets.end());
    }
    framer.Flush();
    std::vector<BYTE> last;
    framer.TakePackets(last);
    taken.insert(taken.end(), last.begin(), last.end());
    return CNumberedPackets::Numbers(taken);
}

struct DetectCase
{
    const char* what;
    std::vector<BYTE> bytes;
    std::size_t size;     // 0: not a transport stream
    std::size_t offset;
};

void PrintTo(const DetectCase& c, std::ostream* os)
{
    *os << c.what;
}

class CTransportPacketFramerDetect : public ::testing::TestWithParam<DetectCase> {};

TEST_P(CTransportPacketFramerDetect, FindsThePacketSizeAndWhereTheFirstPacketStarts)
{
    const DetectCase& c = GetParam();
    std::size_t offset = 999;
    EXPECT_EQ(c.size, CTransportPacketFramer::DetectPacketSize(c.bytes.data(), c.bytes.size(), offset));
    if (c.size != 0) {
        EXPECT_EQ(c.offset, offset);
    }
}

std::vector<BYTE> Noise(std::size_t count)
{
    std::vector<BYTE> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = BYTE(0x50 + i % 0x40);   // never 0x47
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(Heads, CTransportPacketFramerDetect, ::testing::Values(
    DetectCase{"188", CNumberedPackets::Stream(0, 6), 188, 0},
    DetectCase{"188 after a cut packet", Join(Noise(17), CNumberedPackets::Stream(0, 6)), 188, 17},
    DetectCase{"192", CNumberedPackets::Stream(0, 6, 192), 192, 0},
    DetectCase{"192 after a cut packet", Join(Noise(150), CNumberedPackets::Stream(0, 6, 192)), 192, 150},
    DetectCase{"one packet", CNumberedPackets::Stream(0, 1), 188, 0},
    DetectCase{"one M2TS packet", CNumberedPackets::Stream(0, 1, 192), 192, 0},
    DetectCase{"noise", Noise(1200), 0, 0},
    DetectCase{"less than a packet", std::vector<BYTE>{0x47, 0x01, 0x00, 0x10}, 0, 0},
    DetectCase{"nothing", std::vector<BYTE>{}, 0, 0},
    // A lone 0x47 in noise is not a stream.
    DetectCase{"noise with sync bytes 188 apart, twice", [] {
                   std::vector<BYTE> bytes = Noise(1200);
                   bytes[10] = bytes[198] = 0x47;
                   return bytes;
               }(), 0, 0},
    DetectCase{"packets after more than one packet of noise", Join(Noise(200), CNumberedPackets::Stream(0, 5)),
               0, 0}));

TEST(CTransportPacketFramerTest, CutsWholePacketsHoweverTheBytesArrive)
{
    const std::vector<BYTE> stream = CNumberedPackets::Stream(0, 20);
    for (const std::vector<std::size_t>& pieces :
         std::vector<std::vector<std::size_t>>{{stream.size()}, {1}, {187}, {189}, {100, 88, 376, 1, 1000}}) {
        CTransportPacketFramer framer(188);
        EXPECT_EQ(Range(0, 20), Frame(framer, stream, pieces)) << "first piece " << pieces[0];
        EXPECT_EQ(0u, framer.GetSkippedBytes());
    }
}

TEST(CTransportPacketFramerTest, KeepsAPacketUntilTheNextOneConfirmsIt)
{
    const std::vector<BYTE> stream = CNumberedPackets::Stream(0, 3);
    CTransportPacketFramer framer(188);
    framer.Feed(stream.data(), 188);   // packet 0 is whole, but nothing follows it yet
    std::vector<BYTE> packets;
    framer.TakePackets(packets);
    EXPECT_TRUE(packets.empty());

    framer.Feed(stream.data() + 188, 188 + 1);   // packet 1 whole, and packet 2's sync byte
    framer.TakePackets(packets);
    EXPECT_EQ((std::vector<int>{0, 1}), CNumberedPackets::Numbers(packets));

    packets.clear();
    framer.TakePackets(packets);
    EXPECT_TRUE(packets.empty()) << "taken twice";

    framer.Feed(stream.data() + 377, 187);
    framer.Flush();   // the end of the file confirms the last packet
    framer.TakePackets(packets);
    EXPECT_EQ(std::vector<int>{2}, CNumberedPackets::Numbers(packets));
}

TEST(CTransportPacketFramerTest, DropsThePartialPacketOnReset)
{
    const std::vector<BYTE> stream = CNumberedPackets::Stream(0, 2);
    CTransportPacketFramer framer(188);
    framer.Feed(stream.data(), 100);
    framer.Reset();
    EXPECT_EQ(Range(0, 2), Frame(framer, stream, {stream.size()}));
    EXPECT_EQ(0u, framer.GetSkippedBytes());
}

TEST(CTransportPacketFramerTest, TakesTheTimeCodeOffM2tsPackets)
{
    const std::vector<BYTE> stream = CNumberedPackets::Stream(0, 10, 192);
    CTransportPacketFramer framer(192);
    EXPECT_EQ(Range(0, 10), Frame(framer, stream, {500}));
    EXPECT_EQ(0u, framer.GetSkippedBytes());
}

struct DamageCase
{
    const char* what;
    std::size_t packetSize;
    std::vector<BYTE> bytes;
    std::vector<int> packets;   // what comes out, whole and in order
    std::uint64_t skipped;
};

void PrintTo(const DamageCase& c, std::ostream* os)
{
    *os << c.what;
}

class CTransportPacketFramerDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(CTransportPacketFramerDamage, FindsTheSyncAgainAndCountsWhatItSkipped)
{
    const DamageCase& c = GetParam();
    CTransportPacketFramer framer(c.packetSize);
    EXPECT_EQ(c.packets, Frame(framer, c.bytes, {c.bytes.size()}));
    EXPECT_EQ(c.skipped, framer.GetSkippedBytes());
}

std::vector<BYTE> WithLostSync(std::size_t packetSize, int count, int lost)
{
    std::vector<BYTE> bytes = CNumberedPackets::Stream(0, count, packetSize);
    bytes[std::size_t(lost) * packetSize + (packetSize - 188)] = 0x00;
    return bytes;
}

std::vector<BYTE> WithGarbage(std::size_t packetSize, int count, int after, std::vector<BYTE> garbage)
{
    std::vector<BYTE> bytes = CNumberedPackets::Stream(0, count, packetSize);
    bytes.insert(bytes.begin() + std::ptrdiff_t(std::size_t(after) * packetSize), garbage.begin(), garbage.end());
    return bytes;
}

std::vector<int> Without(std::vector<int> numbers, int lost)
{
    numbers.erase(std::remove(numbers.begin(), numbers.end(), lost), numbers.end());
    return numbers;
}

std::vector<BYTE> GarbageWithSyncBytes()
{
    std::vector<BYTE> garbage = Noise(300);
    garbage[5] = garbage[120] = garbage[299] = 0x47;
    return garbage;
}

INSTANTIATE_TEST_SUITE_P(Damage, CTransportPacketFramerDamage, ::testing::Values(
    DamageCase{"noise between packets", 188, WithGarbage(188, 10, 4, Noise(77)), Range(0, 10), 77},
    DamageCase{"noise with sync bytes between packets", 188, WithGarbage(188, 10, 4, GarbageWithSyncBytes()),
               Range(0, 10), 300},
    DamageCase{"noise before the first packet", 188, WithGarbage(188, 5, 0, Noise(33)), Range(0, 5), 33},
    DamageCase{"a lost sync byte", 188, WithLostSync(188, 10, 5), Without(Range(0, 10), 5), 188},
    DamageCase{"two lost sync bytes in a row", 188, [] {
                   std::vector<BYTE> bytes = WithLostSync(188, 10, 3);
                   bytes[4 * 188] = 0x00;
                   return bytes;
               }(), Without(Without(Range(0, 10), 3), 4), 2 * 188},
    DamageCase{"M2TS: noise between packets", 192, WithGarbage(192, 10, 6, Noise(45)), Range(0, 10), 45},
    DamageCase{"M2TS: a lost sync byte", 192, WithLostSync(192, 10, 2), Without(Range(0, 10), 2), 192}));

TEST(CTransportPacketFramerTest, DropsAPacketCutShort)
{
    // Bytes lost inside packet 3: its head followed by packet 4's head makes 188 bytes.
    std::vector<BYTE> bytes = CNumberedPackets::Stream(0, 10);
    bytes.erase(bytes.begin() + 3 * 188 + 50, bytes.begin() + 3 * 188 + 150);
    CTransportPacketFramer framer(188);
    EXPECT_EQ(Without(Range(0, 10), 3), Frame(framer, bytes, {bytes.size()}));
    EXPECT_EQ(88u, framer.GetSkippedBytes());
}

TEST(CTransportPacketFramerTest, FramesNoiseTheSameHoweverItArrives)
{
    // Unconfirmed sync bytes at the end of a piece are taken as packets, so the result
    // depends on where the file's reads happen to end.
    const std::vector<BYTE> bytes = WithGarbage(188, 10, 4, GarbageWithSyncBytes());
    for (std::size_t piece : {std::size_t(1), std::size_t(64), std::size_t(200)}) {
        CTransportPacketFramer framer(188);
        EXPECT_EQ(Range(0, 10), Frame(framer, bytes, {piece})) << "pieces of " << piece;
    }
}

}  // namespace
