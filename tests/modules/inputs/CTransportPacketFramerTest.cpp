#include "modules/inputs/common/CTransportPacketFramer.h"

#include "tests/modules/inputs/CNumberedPackets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<BYTE>;

Bytes Stream(int count, std::size_t packetSize = 188) { return CNumberedPackets::Stream(0, count, packetSize); }
std::vector<int> Range(int count, const std::vector<int>& lost = {}) { return CNumberedPackets::Range(count, lost); }

Bytes Noise(std::size_t count, std::vector<std::size_t> syncAt = {})
{
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = BYTE(0x50 + i % 0x40);   // never 0x47
    for (std::size_t at : syncAt)
        bytes[at] = 0x47;
    return bytes;
}

Bytes Inserted(Bytes bytes, std::size_t at, const Bytes& more)
{
    bytes.insert(bytes.begin() + std::ptrdiff_t(at), more.begin(), more.end());
    return bytes;
}

Bytes Damaged(Bytes bytes, std::vector<std::size_t> zeroAt, std::size_t cutAt = 0, std::size_t cutCount = 0)
{
    for (std::size_t at : zeroAt)
        bytes[at] = 0x00;
    bytes.erase(bytes.begin() + std::ptrdiff_t(cutAt), bytes.begin() + std::ptrdiff_t(cutAt + cutCount));
    return bytes;
}

}  // namespace

TEST(CTransportPacketFramerTest, FindsThePacketSizeAndWhereTheFirstPacketStarts)
{
    struct Case { const char* what; Bytes bytes; std::size_t size, offset; };   // size 0: not a stream
    for (const Case& c : {Case{"188", Stream(6), 188, 0}, Case{"192", Stream(6, 192), 192, 0},
                          Case{"188 after a cut packet", Inserted(Stream(6), 0, Noise(17)), 188, 17},
                          Case{"192 after a cut packet", Inserted(Stream(6, 192), 0, Noise(150)), 192, 150},
                          Case{"one packet", Stream(1), 188, 0}, Case{"one M2TS packet", Stream(1, 192), 192, 0},
                          Case{"noise", Noise(1200), 0, 0}, Case{"nothing", {}, 0, 0},
                          Case{"less than a packet", Bytes{0x47, 0x01, 0x00, 0x10}, 0, 0},
                          Case{"noise with sync bytes 188 apart, twice", Noise(1200, {10, 198}), 0, 0},
                          Case{"after more than a packet of noise", Inserted(Stream(5), 0, Noise(200)), 0, 0}}) {
        std::size_t offset = 999;
        EXPECT_EQ(c.size, CTransportPacketFramer::DetectPacketSize(c.bytes.data(), c.bytes.size(), offset)) << c.what;
        EXPECT_TRUE(c.size == 0 || offset == c.offset) << c.what;
    }
}

// Whole packets come out in order, the damaged ones dropped and the bytes skipped counted, the
// same whether the file arrives whole, byte by byte or in pieces that cut packets anywhere.
TEST(CTransportPacketFramerTest, FindsTheSyncAgainAfterDamageHoweverTheBytesArrive)
{
    struct Case { const char* what; std::size_t packetSize; Bytes bytes; std::vector<int> packets; std::uint64_t skipped; };
    for (const Case& c : {
             Case{"clean", 188, Stream(20), Range(20), 0},
             Case{"noise between packets", 188, Inserted(Stream(10), 4 * 188, Noise(77)), Range(10), 77},
             Case{"noise with sync bytes", 188, Inserted(Stream(10), 4 * 188, Noise(300, {5, 120, 299})), Range(10), 300},
             Case{"noise before the first packet", 188, Inserted(Stream(5), 0, Noise(33)), Range(5), 33},
             Case{"a lost sync byte", 188, Damaged(Stream(10), {5 * 188}), Range(10, {5}), 188},
             Case{"two lost sync bytes in a row", 188, Damaged(Stream(10), {3 * 188, 4 * 188}), Range(10, {3, 4}), 376},
             // packet 3's head and packet 4's head make 188 bytes
             Case{"a packet cut short", 188, Damaged(Stream(10), {}, 3 * 188 + 50, 100), Range(10, {3}), 88},
             Case{"M2TS: noise between packets", 192, Inserted(Stream(10, 192), 6 * 192, Noise(45)), Range(10), 45},
             Case{"M2TS: a lost sync byte", 192, Damaged(Stream(10, 192), {2 * 192 + 4}), Range(10, {2}), 192}})
        for (std::size_t piece : {c.bytes.size(), std::size_t(1), std::size_t(64), std::size_t(187), std::size_t(189)}) {
            CTransportPacketFramer framer(c.packetSize);
            Bytes taken;
            for (std::size_t at = 0; at < c.bytes.size(); at += piece) {
                // a copy of exactly the piece, for the sanitizer run
                const Bytes part(c.bytes.begin() + std::ptrdiff_t(at),
                                 c.bytes.begin() + std::ptrdiff_t(std::min(at + piece, c.bytes.size())));
                framer.Feed(part.data(), part.size());
                const std::size_t before = taken.size();
                framer.TakePackets(taken);
                EXPECT_EQ(0u, (taken.size() - before) % 188) << c.what << ", after " << at + piece << " bytes";
            }
            framer.Flush();
            framer.TakePackets(taken);
            EXPECT_EQ(c.packets, CNumberedPackets::Numbers(taken)) << c.what << ", pieces of " << piece;
            EXPECT_EQ(c.skipped, framer.GetSkippedBytes()) << c.what << ", pieces of " << piece;
        }
}

TEST(CTransportPacketFramerTest, KeepsAPacketUntilTheNextOneConfirmsItAndDropsAPartOnReset)
{
    const Bytes stream = Stream(3);
    CTransportPacketFramer framer(188);
    Bytes packets;
    framer.Feed(stream.data(), 100);
    framer.Reset();   // a new start: the 100 bytes are neither a packet nor damage
    framer.Feed(stream.data(), 188);
    framer.TakePackets(packets);
    EXPECT_TRUE(packets.empty()) << "packet 0 is whole, but nothing follows it yet";
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
    EXPECT_EQ(0u, framer.GetSkippedBytes());
}

// Over UDP nothing follows the last datagram: its end confirms the packet that ends with it.
TEST(CTransportPacketFramerTest, ADatagramsEndConfirmsAPacketInStepThatEndsWithIt)
{
    const Bytes stream = Stream(10);
    CTransportPacketFramer framer(188);
    Bytes packets;
    framer.FeedDatagram(stream.data(), 188);
    framer.TakePackets(packets);
    EXPECT_TRUE(packets.empty()) << "a first packet alone is not known to be in step";
    framer.FeedDatagram(stream.data() + 188, 4 * 188);
    framer.TakePackets(packets);
    EXPECT_EQ(Range(5), CNumberedPackets::Numbers(packets));
    framer.FeedDatagram(stream.data() + 5 * 188, 300);   // a sender that cuts packet 6
    framer.FeedDatagram(stream.data() + 5 * 188 + 300, 5 * 188 - 300);
    framer.TakePackets(packets);
    EXPECT_EQ(Range(10), CNumberedPackets::Numbers(packets));
    EXPECT_EQ(0u, framer.GetSkippedBytes());
}
