#include "si/CDVBSIReceiver.h"

#include "si/CDVBPATSection.h"
#include "si/CDVBSIHandler.h"
#include "si/CDVBTDTSection.h"
#include "si/CalculateCRC32.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using B = CTestSectionBuilder;

// Notes every report, and which sections the SI receiver held at that moment.
class CRecordingHandler : public CDVBSIHandler
{
public:
    struct Report
    {
        WORD pid;
        CDVBSISection* section;
        int type;
        BYTE tableId;
        BYTE version;
        BYTE currentNext;
        std::size_t held;
    };

    void OnSectionAdd(WORD pid, CDVBSISection* section) override
    {
        m_reports.push_back({pid, section, section->m_type, section->m_tableId, section->m_versionNumber,
                             section->m_currentNextIndicator, m_receiver ? m_receiver->GetSections().size() : 0});
    }

    const CDVBSIReceiver* m_receiver = nullptr;
    std::vector<Report> m_reports;
};

class CDVBSIReceiverTest : public ::testing::Test
{
protected:
    CDVBSIReceiverTest() { m_handler.m_receiver = &m_receiver; }

    // Each packet fed gets the next continuity_counter, as a multiplexer sends them.
    void Feed(const Bytes& packet)
    {
        Bytes copy(packet);   // exactly 188 bytes: a read past the packet is caught
        copy[3] = BYTE((copy[3] & 0xF0) | (m_continuity++ & 0x0F));
        FeedAsIs(copy);
    }
    void FeedAsIs(Bytes packet) { m_receiver.OnReceivePacket(0, packet.data()); }
    void FeedSection(const Bytes& section)
    {
        for (const Bytes& packet : Packets(section))
            Feed(packet);
    }
    static std::vector<Bytes> Packets(const Bytes& section)
    {
        BYTE unused = 0;
        return B::Packetise(0x0000, section, unused);
    }
    // One packet: pointer_field, then the bytes given, then stuffing.
    static Bytes StartPacket(BYTE pointer, const Bytes& bytes)
    {
        Bytes packet(188, 0xFF);
        packet[0] = 0x47;
        packet[1] = 0x40;
        packet[3] = 0x10;
        packet[4] = pointer;
        std::copy(bytes.begin(), bytes.begin() + std::ptrdiff_t(std::min<std::size_t>(bytes.size(), 183)),
                  packet.begin() + 5);
        return packet;
    }

    Bytes Pat(BYTE version, WORD programs = 1, bool currentNext = true)
    {
        std::vector<std::pair<WORD, WORD>> list;
        for (WORD i = 1; i <= programs; ++i)
            list.push_back({i, WORD(0x100 + i)});
        return B::Long(0x00, 0x0042, version, 0, 0, B::PATBody(list), currentNext);
    }

    CRecordingHandler m_handler;
    CDVBSIReceiver m_receiver{&m_handler};
    BYTE m_continuity = 0;
};

}  // namespace

TEST(CalculateCRC32Test, IsZeroOverAnIntactSectionAndCatchesAnyFlippedByte)
{
    EXPECT_EQ(CalculateCRC32(nullptr, 0), 0xFFFFFFFFu);
    const BYTE check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CalculateCRC32(check, 9), 0x0376E6E7u);   // the catalogued CRC-32/MPEG-2 check value
    Bytes section = B::Long(0x02, 1, 0, 0, 0, B::PMTBody(0x100, {}, B::PMTStream(0x1B, 0x100)));
    EXPECT_EQ(CalculateCRC32(section.data(), int(section.size())), 0u);
    for (std::size_t i = 0; i < section.size(); ++i) {
        Bytes damaged(section);
        damaged[i] ^= 0x01;
        EXPECT_NE(CalculateCRC32(damaged.data(), int(damaged.size())), 0u) << "byte " << i;
    }
}

TEST_F(CDVBSIReceiverTest, ReportsNewAndChangedSectionsButNotRepeats)
{
    FeedSection(Pat(3));
    ASSERT_EQ(m_handler.m_reports.size(), 1u);
    EXPECT_EQ(m_handler.m_reports[0].type, CDVBSISection::TypePAT);
    CDVBSISection* held = m_receiver.GetSections().front();
    held->m_lastSeen = 0;
    FeedSection(Pat(3));   // a repeat only refreshes
    EXPECT_EQ(m_handler.m_reports.size(), 1u);
    EXPECT_EQ(m_receiver.GetSections().front(), held);
    EXPECT_NE(held->m_lastSeen, 0u);

    FeedSection(Pat(4, 2));
    ASSERT_EQ(m_handler.m_reports.size(), 2u);
    EXPECT_EQ(m_handler.m_reports[1].held, 1u);   // the old object is gone before the report
    EXPECT_EQ(static_cast<CDVBPATSection*>(m_handler.m_reports[1].section)->m_entries.size(), 2u);
    // only current_next_indicator (and the CRC) differ: they replace each other
    FeedSection(Pat(4, 2, false));
    FeedSection(Pat(4, 2, true));
    ASSERT_EQ(m_handler.m_reports.size(), 4u);
    EXPECT_EQ(m_handler.m_reports[2].currentNext, 0);
    EXPECT_EQ(m_handler.m_reports[3].currentNext, 1);
    EXPECT_EQ(m_receiver.GetSections().size(), 1u);
}

TEST_F(CDVBSIReceiverTest, AssemblesAcrossPacketsAndFinishesASectionAtAPointerField)
{
    std::vector<Bytes> packets = Packets(Pat(1, 90));   // 9 + 360 + 3 bytes
    ASSERT_EQ(packets.size(), 3u);
    Feed(packets[0]);
    Feed(packets[1]);
    EXPECT_TRUE(m_handler.m_reports.empty());
    Feed(packets[2]);
    ASSERT_EQ(m_handler.m_reports.size(), 1u);

    Bytes first = Pat(2, 45);   // 192 bytes: 183 in the first packet, 9 left
    Feed(StartPacket(0, first));
    Bytes rest(first.begin() + 183, first.end());
    Feed(StartPacket(BYTE(rest.size()), B::Cat({rest, Pat(3, 2)})));
    ASSERT_EQ(m_handler.m_reports.size(), 3u);
    EXPECT_EQ(m_handler.m_reports[1].version, 2);
    EXPECT_EQ(m_handler.m_reports[2].version, 3);

    Feed(Packets(Pat(4, 90))[0]);   // the rest never comes: abandoned at the next start
    FeedSection(Pat(5));
    ASSERT_EQ(m_handler.m_reports.size(), 4u);
    EXPECT_EQ(m_handler.m_reports[3].version, 5);
}

TEST_F(CDVBSIReceiverTest, ShortSectionsAreReportedEveryTimeAndStuffingIsIgnored)
{
    const Bytes tdt = B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07});
    Feed(StartPacket(0, tdt));   // 8 bytes, then 0xFF stuffing
    Feed(StartPacket(0, tdt));
    ASSERT_EQ(m_handler.m_reports.size(), 2u);
    EXPECT_EQ(m_handler.m_reports[1].type, CDVBSISection::TypeTDT);
    EXPECT_EQ(m_receiver.GetSections().size(), 1u);
    auto* held = static_cast<CDVBTDTSection*>(m_receiver.GetSections().front());
    EXPECT_EQ(held->m_utcTime, 0x124507u);
}

TEST_F(CDVBSIReceiverTest, DropsWhatIsDamagedOrUnknown)
{
    Bytes corrupted = Pat(1);
    corrupted[9] ^= 0x40;
    FeedSection(corrupted);
    Bytes tooShort = {0x00, 0xB0, 0x05, 0x00, 0x01, 0xC1, 0x00, 0x00};   // section_length 5
    Feed(StartPacket(0, tooShort));
    Feed(StartPacket(0, B::Short(0x72, {1, 2, 3})));   // stuffing table
    Feed(StartPacket(0, B::Short(0x70, {0xCF, 0xD1})));   // a TDT body of 2 bytes
    EXPECT_TRUE(m_handler.m_reports.empty());
    EXPECT_TRUE(m_receiver.GetSections().empty());
}

TEST_F(CDVBSIReceiverTest, AFailedParseKeepsTheSectionHeldBefore)
{
    const Bytes good = B::Long(0x02, 7, 1, 0, 0, B::PMTBody(0x100, {}, B::PMTStream(0x1B, 0x100)));
    Bytes lying = B::Long(0x02, 7, 2, 0, 0, B::PMTBody(0x100, {}, B::PMTStream(0x1B, 0x100)));
    lying[11] = 0x0F;   // program_info_length 0xFxx: past the body
    B::FixCRC(lying);
    FeedSection(good);
    FeedSection(lying);
    ASSERT_EQ(m_handler.m_reports.size(), 1u);
    ASSERT_EQ(m_receiver.GetSections().size(), 1u);
    EXPECT_EQ(m_receiver.GetSections().front()->m_versionNumber, 1);
}

TEST_F(CDVBSIReceiverTest, SectionsPackedInOnePacketAreAllAssembled)
{
    // a TDT and a TOT back to back, then a PMT that fills the packet and goes on in the next
    Bytes streams;
    for (WORD pid = 0x100; pid < 0x100 + 40; ++pid)
        B::Append(streams, B::PMTStream(0x02, pid));
    const Bytes pmt = B::Long(0x02, 1, 0, 0, 0, B::PMTBody(0x100, {}, streams));
    const Bytes tot = B::Short(0x73, {0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0, 0x00, 0, 0, 0, 0});
    const Bytes heads = B::Cat({B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07}), tot});
    const std::size_t first = 183 - heads.size();
    Feed(StartPacket(0, B::Cat({heads, Bytes(pmt.begin(), pmt.begin() + std::ptrdiff_t(first))})));
    ASSERT_EQ(m_handler.m_reports.size(), 2u);
    EXPECT_EQ(m_handler.m_reports[0].type, CDVBSISection::TypeTDT);
    EXPECT_EQ(m_handler.m_reports[1].type, CDVBSISection::TypeTOT);
    Bytes rest(pmt.begin() + std::ptrdiff_t(first), pmt.end());
    Bytes continuation = StartPacket(0, {});
    continuation[1] = 0x00;   // no unit start: the payload continues the PMT
    std::copy(rest.begin(), rest.end(), continuation.begin() + 4);
    Feed(continuation);
    ASSERT_EQ(m_handler.m_reports.size(), 3u);
    EXPECT_EQ(m_handler.m_reports[2].type, CDVBSISection::TypePMT);
}

TEST_F(CDVBSIReceiverTest, StartForgetsBytesCollectedSoFar)
{
    Bytes big = Pat(1, 90);
    std::vector<Bytes> packets = Packets(big);
    Feed(packets[0]);
    m_receiver.Start();
    Feed(packets[1]);
    Feed(packets[2]);
    EXPECT_TRUE(m_handler.m_reports.empty());
}

TEST_F(CDVBSIReceiverTest, LongestSectionFitsAndAnyPacketIsSafe)
{
    // section_length 4093 (largest that a PAT body can fill whole) in 23 packets
    FeedSection(Pat(1, 1021));
    ASSERT_EQ(m_handler.m_reports.size(), 1u);
    // a section_length of 0xFFF whose bytes never end: collection stops at the buffer
    Bytes endless = {0x00, 0xBF, 0xFF};
    endless.resize(183, 0x00);
    Feed(StartPacket(0, endless));
    Bytes filler(188, 0x00);
    filler[0] = 0x47;
    filler[3] = 0x10;
    for (int i = 0; i < 30; ++i)
        Feed(filler);
    EXPECT_EQ(m_handler.m_reports.size(), 1u);
}

// Real reception loses and damages packets, and a receiver tunes in mid-section.
TEST_F(CDVBSIReceiverTest, MidSectionPayloadWithoutAStartIsNeverASection)
{
    // tuned in on the tail of some section, which happens to read as a TDT
    Bytes tail = StartPacket(0, {});
    tail[1] = 0x00;
    const Bytes tdt = B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07});
    std::copy(tdt.begin(), tdt.end(), tail.begin() + 4);
    Feed(tail);
    std::vector<Bytes> packets = Packets(Pat(1, 90));
    Feed(packets[1]);   // the start of this one was missed too
    Feed(packets[2]);
    EXPECT_TRUE(m_handler.m_reports.empty());
    FeedSection(Pat(2));   // the next start is taken
    ASSERT_EQ(m_handler.m_reports.size(), 1u);
}

TEST_F(CDVBSIReceiverTest, ALostPacketAbandonsTheSectionAndTheNextRepetitionIsWhole)
{
    const Bytes eit = B::Long(0x4E, 0x101, 1, 0, 1, B::EITBody(1, 1, B::Cat({
        B::EITEvent(1, 0xE9E8, 0x120000, 0x013000, B::ShortEventDescriptor("eng", std::string(200, 'a'), "")),
        B::EITEvent(2, 0xE9E8, 0x133000, 0x013000, B::ShortEventDescriptor("eng", std::string(200, 'b'), ""))})));
    std::vector<Bytes> packets = Packets(eit);
    ASSERT_EQ(packets.size(), 3u);
    Feed(packets[0]);
    ++m_continuity;   // packets[1] lost
    Feed(packets[2]);
    EXPECT_TRUE(m_handler.m_reports.empty());
    FeedSection(eit);
    ASSERT_EQ(m_handler.m_reports.size(), 1u);
    EXPECT_EQ(m_handler.m_reports[0].tableId, 0x4E);
}

TEST_F(CDVBSIReceiverTest, ADuplicatePacketIsSkippedOnceAndAnErroredOneFeedsNothing)
{
    std::vector<Bytes> packets = Packets(Pat(1, 90));
    Feed(packets[0]);
    Feed(packets[1]);
    Bytes again = packets[1];
    again[3] = BYTE(0x10 | ((m_continuity - 1) & 0x0F));
    FeedAsIs(again);   // the same packet twice: its bytes count once
    Feed(packets[2]);
    ASSERT_EQ(m_handler.m_reports.size(), 1u);

    // a TDT the demodulator could not correct, its time damaged
    Bytes errored = StartPacket(0, B::Short(0x70, {0xCF, 0xD1, 0x99, 0x45, 0x07}));
    errored[1] |= 0x80;
    Feed(errored);
    EXPECT_EQ(m_handler.m_reports.size(), 1u);
}
