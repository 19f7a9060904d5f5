#include "si/CDVBSIReceiver.h"

#include "si/CDVBSIHandler.h"
#include "si/CDVBTDTSection.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;
using Ints = std::vector<int>;

const Bytes kTdt = B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07});

Bytes Pat(BYTE version, WORD programs = 1, bool currentNext = true)   // 4 bytes a program
{
    std::vector<std::pair<WORD, WORD>> list;
    for (WORD i = 1; i <= programs; ++i)
        list.push_back({i, WORD(0x100 + i)});
    return B::Long(0x00, 0x0042, version, 0, 0, B::PATBody(list), currentNext);
}

// One packet of `bytes`, then stuffing: after a pointer_field when it starts a unit, alone
// when `pointer` is negative.
Bytes Packet(int pointer, const Bytes& bytes)
{
    const bool start = pointer >= 0;
    Bytes packet = B::Cat({{0x47, BYTE(start ? 0x40 : 0), 0, 0x10}, start ? Bytes{BYTE(pointer)} : Bytes{}, bytes});
    packet.resize(188, 0xFF);
    return packet;
}

std::vector<Bytes> Packets(const Bytes& section)
{
    BYTE counter = 0;   // Feed sets its own
    return B::Packetise(0x0000, section, counter);
}

class CDVBSIReceiverTest : public ::testing::Test, public CDVBSIHandler
{
protected:
    // What each report said, and how many sections the SI receiver held at that moment.
    void OnSectionAdd(WORD, CDVBSISection* s) override
    {
        m_types.push_back(s->m_type);
        m_versions.push_back(s->m_versionNumber);
        m_currentNext.push_back(s->m_currentNextIndicator);
        m_held.push_back(int(m_receiver.GetSections().size()));
    }
    // Each packet gets the next continuity_counter, as a multiplexer sends them; the copy of
    // exactly 188 bytes lets the sanitizer run catch a read past the packet.
    void Feed(Bytes packet)
    {
        packet[3] = BYTE((packet[3] & 0xF0) | (m_continuity++ & 0x0F));
        m_receiver.OnReceivePacket(0, packet.data());
    }
    void FeedSection(const Bytes& section)
    {
        for (const Bytes& packet : Packets(section))
            Feed(packet);
    }

    CDVBSIReceiver m_receiver{this};
    Ints m_types, m_versions, m_currentNext, m_held;
    BYTE m_continuity = 0;
};

}  // namespace

TEST_F(CDVBSIReceiverTest, ReportsNewAndChangedSectionsButNotRepeats)
{
    FeedSection(Pat(3));
    ASSERT_EQ(m_types.size(), 1u);
    CDVBSISection* held = m_receiver.GetSections().front();
    FeedSection(Pat(3));   // a repeat keeps the object held
    EXPECT_EQ(m_receiver.GetSections().front(), held);
    FeedSection(Pat(4, 2));
    // only current_next_indicator (and the CRC) differ: they replace each other
    FeedSection(Pat(4, 2, false));
    FeedSection(Pat(4, 2, true));
    EXPECT_EQ(m_types, Ints(4, CDVBSISection::TypePAT));
    EXPECT_EQ(m_versions, (Ints{3, 4, 4, 4})) << "a repeat reported, or a change not";
    EXPECT_EQ(m_currentNext, (Ints{1, 1, 0, 1}));
    EXPECT_EQ(m_held, Ints(4, 1)) << "the object replaced is still there at the report";
}

// A failed parse keeps the section held before: the last PMT's program_info_length lies. A
// line names the PID and table of each section dropped, or kept with a damaged descriptor.
TEST_F(CDVBSIReceiverTest, ShortSectionsAreReportedEveryTimeAndWhatIsDamagedOrUnknownNever)
{
    CDebugLineCatcher lines;
    m_receiver.SetPID(0x0012);
    Bytes corrupted = Pat(1);
    corrupted[9] ^= 0x40;
    FeedSection(corrupted);
    Feed(Packet(0, {0x00, 0xB0, 0x05, 0x00, 0x01, 0xC1, 0x00, 0x00}));   // section_length 5
    Feed(Packet(0, B::Short(0x72, {1, 2, 3})));   // stuffing table
    Feed(Packet(0, B::Short(0x70, {0xCF, 0xD1})));   // a TDT body of 2 bytes
    EXPECT_TRUE(m_types.empty());
    Feed(Packet(0, kTdt));   // 8 bytes, then 0xFF stuffing
    Feed(Packet(0, kTdt));
    const Bytes body = B::PMTBody(0x100, {}, B::PMTStream(0x1B, 0x100));
    FeedSection(B::Long(0x02, 7, 1, 0, 0, body));
    Bytes lying = B::Long(0x02, 7, 2, 0, 0, body);
    lying[11] = 0x0F;
    B::FixCRC(lying);
    FeedSection(lying);
    FeedSection(B::Long(0x42, 1, 0, 0, 0, B::SDTBody(1, B::SDTService(1, 4, false, {0x48, 9}))));
    EXPECT_EQ(m_types, (Ints{CDVBSISection::TypeTDT, CDVBSISection::TypeTDT, CDVBSISection::TypePMT, CDVBSISection::TypeSDT}));
    ASSERT_EQ(m_receiver.GetSections().size(), 3u);
    EXPECT_EQ(static_cast<CDVBTDTSection*>(m_receiver.GetSections().front())->m_utcTime, 0x124507u);
    EXPECT_EQ((*std::next(m_receiver.GetSections().begin()))->m_versionNumber, 1);
    EXPECT_EQ(lines.Lines(), (std::vector<std::string>{
        "PID 0x0012, table_id 0x00: section dropped, too short for its header and CRC.\n",
        "PID 0x0012, table_id 0x70: section dropped, a length in it runs past its end.\n",
        "PID 0x0012, table_id 0x02: section dropped, a length in it runs past its end.\n",
        "PID 0x0012, table_id 0x42: section kept, a damaged descriptor ended a descriptor loop.\n"}));
}

TEST_F(CDVBSIReceiverTest, LongestSectionFitsAnyPacketIsSafeAndStartForgetsWhatWasCollected)
{
    FeedSection(Pat(1, 1021));   // section_length 4093, the most a PAT body fills whole: 23 packets
    EXPECT_EQ(m_types.size(), 1u);
    // a section_length of 0xFFF whose bytes never end: collection stops at the buffer
    Feed(Packet(0, B::Cat({{0x00, 0xBF, 0xFF}, Bytes(180, 0)})));
    for (int i = 0; i < 30; ++i)
        Feed(Packet(-1, Bytes(184, 0)));
    const std::vector<Bytes> packets = Packets(Pat(2, 90));
    Feed(packets[0]);
    m_receiver.Start();
    Feed(packets[1]);
    Feed(packets[2]);
    EXPECT_EQ(m_types.size(), 1u);
}

// Real reception loses, repeats and damages packets, and a receiver tunes in mid-section: a
// section is reported at its last packet once all of its packets came, each once.
TEST_F(CDVBSIReceiverTest, OnlyASectionWhosePacketsAllCameOnceIsReportedAtItsLast)
{
    const std::vector<Bytes> packets = Packets(Pat(1, 90));   // 9 + 360 + 3 bytes
    ASSERT_EQ(packets.size(), 3u);
    Feed(Packet(-1, kTdt));   // tuned in on the tail of some section, which happens to read as a TDT
    Feed(packets[1]);   // the start of this one was missed too
    Feed(packets[2]);
    Feed(packets[0]);
    ++m_continuity;   // packets[1] lost
    Feed(packets[2]);
    Feed(packets[0]);
    Feed(packets[1]);
    --m_continuity;
    Feed(packets[1]);   // the same packet twice, same counter: its bytes count once
    EXPECT_TRUE(m_types.empty());
    Feed(packets[2]);
    EXPECT_EQ(m_versions, Ints{1});
    // a TDT the demodulator could not correct, its time damaged
    Bytes errored = Packet(0, B::Short(0x70, {0xCF, 0xD1, 0x99, 0x45, 0x07}));
    errored[1] |= 0x80;
    Feed(errored);
    EXPECT_EQ(m_types.size(), 1u);
}
