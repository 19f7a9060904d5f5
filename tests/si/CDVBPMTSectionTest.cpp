#include "si/CDVBPMTSection.h"

#include "si/CDVBISO639LanguageDescriptor.h"
#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

// A map as broadcast; each test bends it.
Bytes Streams()
{
    return B::Cat({B::PMTStream(0x1B, 0x100), B::PMTStream(0x03, 0x101, B::LanguageDescriptor("fra"))});
}

Bytes Pmt(const Bytes& body)
{
    return B::Long(0x02, 0x0101, 1, 0, 0, body);
}

}  // namespace

TEST(CDVBPMTSectionTest, KeepsStreamsInSectionOrder)
{
    auto pmt = ParseSection<CDVBPMTSection>(Pmt(B::PMTBody(0x100, B::Descriptor(0x52, {1}), Streams())));
    ASSERT_NE(pmt, nullptr);
    EXPECT_EQ(pmt->m_tableIdExtension, 0x0101);
    EXPECT_EQ(pmt->m_pcrPid, 0x100);
    EXPECT_EQ(pmt->m_programInfoLength, 3);
    EXPECT_EQ(pmt->m_descriptors.size(), 1u);
    ASSERT_EQ(pmt->m_entries.size(), 2u);
    const CDVBPMTEntry* audio = pmt->m_entries.back();
    EXPECT_EQ(audio->m_streamType, 0x03);
    EXPECT_EQ(audio->m_elementaryPid, 0x101);
    EXPECT_EQ(audio->m_esInfoLength, 6);
    auto* language = static_cast<CDVBISO639LanguageDescriptor*>(audio->m_descriptors.FindDescriptor(0x0A));
    ASSERT_NE(language, nullptr);
    EXPECT_STREQ(language->m_languageCode, "fra");
}

TEST(CDVBPMTSectionTest, EmptyMapsAndStrayBytesAreAccepted)
{
    auto bare = ParseSection<CDVBPMTSection>(Pmt(B::PMTBody(0x1FFF, {}, {})));
    ASSERT_NE(bare, nullptr);
    EXPECT_TRUE(bare->m_entries.empty());
    for (int stray = 1; stray <= 4; ++stray) {
        auto pmt = ParseSection<CDVBPMTSection>(Pmt(B::PMTBody(0x100, {}, B::Cat({Streams(), Bytes(stray, 0xE1)}))));
        ASSERT_NE(pmt, nullptr) << stray;
        EXPECT_EQ(pmt->m_entries.size(), 2u);
    }
}

// Each length field that can lie, past its end: fail cleanly or end the loop, never read on.
struct LyingLength
{
    const char* field;
    std::size_t offset;   // of the length's low byte in the section
    bool parses;
};

void PrintTo(const LyingLength& lie, std::ostream* out)
{
    *out << lie.field;
}

class CDVBPMTSectionLies : public ::testing::TestWithParam<LyingLength> {};

TEST_P(CDVBPMTSectionLies, NeverReadsPastTheSection)
{
    Bytes pmt = Pmt(B::PMTBody(0x100, {}, Streams()));
    pmt[GetParam().offset] = BYTE(pmt[GetParam().offset] + 40);
    B::FixCRC(pmt);
    EXPECT_EQ(ParseSection<CDVBPMTSection>(pmt) != nullptr, GetParam().parses);
}

INSTANTIATE_TEST_SUITE_P(LengthFields, CDVBPMTSectionLies,
                         ::testing::Values(LyingLength{"program_info_length", 11, false},
                                           LyingLength{"last_ES_info_length", 11 + 5 + 5, false},
                                           LyingLength{"descriptor_length", 11 + 5 + 5 + 2, true},
                                           LyingLength{"section_length", 2, false}));

TEST(CDVBPMTSectionTest, BodyOfFewerThanFourBytesIsRefused)
{
    EXPECT_EQ(ParseSection<CDVBPMTSection>(Pmt({0xE1, 0x00, 0xF0})), nullptr);
}
