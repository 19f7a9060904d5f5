#include "si/CDVBPATSection.h"

#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

using B = CTestSectionBuilder;

TEST(CDVBPATSectionTest, ProgramsInSectionOrderWithTheNetworkPIDForProgramZero)
{
    auto pat = ParseSection<CDVBPATSection>(B::Long(0x00, 0x1234, 7, 0, 0, B::PATBody({{0, 0x10}, {0x1001, 0x100}})));
    ASSERT_NE(pat, nullptr);
    EXPECT_EQ(pat->m_type, CDVBSISection::TypePAT);
    EXPECT_EQ(pat->m_tableIdExtension, 0x1234);
    EXPECT_EQ(pat->m_versionNumber, 7);
    EXPECT_EQ(pat->m_sectionLength, 17);
    ASSERT_EQ(pat->m_entries.size(), 2u);
    EXPECT_EQ(pat->m_entries.front()->m_programNumber, 0);
    EXPECT_EQ(pat->m_entries.front()->m_pid, 0x10);
    EXPECT_EQ(pat->m_entries.back()->m_pid, 0x100);
    EXPECT_EQ(pat->m_entries.back()->m_reserved, 7);
}

TEST(CDVBPATSectionTest, ShortBodiesAndStrayBytesNeverFail)
{
    auto empty = ParseSection<CDVBPATSection>(B::Long(0x00, 1, 0, 0, 0, {}));   // section_length 9
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->m_entries.empty());
    auto stray = ParseSection<CDVBPATSection>(B::Long(0x00, 1, 0, 0, 0, B::Cat({B::PATBody({{1, 0x100}}), {1, 2, 3}})));
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(stray->m_entries.size(), 1u);
}

TEST(CDVBPATSectionTest, HeaderThatClaimsMoreThanIsThereIsRefused)
{
    Bytes pat = B::Long(0x00, 1, 0, 0, 0, B::PATBody({{1, 0x100}}));
    pat.pop_back();
    EXPECT_EQ(ParseSection<CDVBPATSection>(pat), nullptr);
    EXPECT_EQ(ParseSection<CDVBPATSection>({0x00, 0xB0}), nullptr);
}
