#include "si/CDVBTOTSection.h"

#include "si/CDVBTDTSection.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;
using Lines = std::vector<std::string>;

// A TOT with a given descriptor loop and `tail` bytes where the CRC goes.
Bytes Tot(const Bytes& loop, std::size_t tail)
{
    return B::Short(0x73, B::Cat({{0xCF, 0xD1, 0x12, 0x45, 0x07, BYTE(0xF0 | (loop.size() >> 8)), BYTE(loop.size())},
                                  loop, Bytes(tail, 0xAB)}));
}

const Bytes kLocalTimeOffset = B::Descriptor(0x58, {'G', 'B', 'R', 0x02, 0x00, 0x00, 0xCF, 0xD1, 0x01, 0x00,
                                                    0x00, 0x01, 0x00});

}  // namespace

TEST(CDVBTDTSectionTest, DateAndTimeTexts)
{
    auto tdt = ParseSection<CDVBTDTSection>(B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07}));
    ASSERT_NE(tdt, nullptr);
    EXPECT_EQ(tdt->m_type, CDVBSISection::TypeTDT);
    EXPECT_EQ(tdt->m_sectionSyntaxIndicator, 0);
    CString text;
    tdt->GetDateText(text);
    EXPECT_EQ(text, "15/07/2004");
    tdt->GetTimeText(text);
    EXPECT_EQ(text, "12:45:07");
    EXPECT_EQ(ParseSection<CDVBTDTSection>(B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45})), nullptr);
}

TEST(CDVBTOTSectionTest, AcceptedWithItsCRCFieldAndSaysSo)
{
    CDebugLineCatcher lines;
    auto tot = ParseSection<CDVBTOTSection>(Tot(kLocalTimeOffset, 4));
    ASSERT_NE(tot, nullptr);
    EXPECT_EQ(tot->m_descriptorsLoopLength, 15);
    ASSERT_EQ(tot->m_descriptors.size(), 1u);
    EXPECT_EQ(tot->m_descriptors.front()->m_tag, 0x58);   // held bare
    auto bare = ParseSection<CDVBTOTSection>(Tot({}, 4));   // section_length 11
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->m_sectionLength, 11);
    CString text;
    bare->GetTimeText(text);
    EXPECT_EQ(text, "12:45:07");
    EXPECT_EQ(lines.Lines(), (Lines{"ok TOT 1.\n", "ok TOT 1.\n"}));
}

// Each way a TOT fails, with its line.
struct TotFault
{
    const char* name;
    Bytes section;
    const char* line;
};

void PrintTo(const TotFault& fault, std::ostream* out)
{
    *out << fault.name;
}

class CDVBTOTSectionFaults : public ::testing::TestWithParam<TotFault> {};

TEST_P(CDVBTOTSectionFaults, RefusedWithItsLine)
{
    CDebugLineCatcher lines;
    EXPECT_EQ(ParseSection<CDVBTOTSection>(GetParam().section), nullptr);
    EXPECT_EQ(lines.Lines(), Lines{GetParam().line});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CDVBTOTSectionFaults,
    ::testing::Values(TotFault{"sectionLength6", B::Short(0x73, {0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0}), "Failed TOT 1.\n"},
                      TotFault{"loopPastTheSection", B::Short(0x73, {0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0, 20, 1, 2, 3}),
                               "Failed TOT 2.\n"},
                      TotFault{"descriptorPastTheLoop", Tot({0x58, 20, 1, 2}, 4), "Failed TOT 3.\n"},
                      TotFault{"noRoomForTheCRC", Tot({}, 3), "Failed TOT 4.\n"}));
