#include "si/CDVBSDTSection.h"

#include "si/CDVBServiceDescriptor.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;
using Lines = std::vector<std::string>;

Bytes Sdt(const Bytes& body)
{
    return B::Long(0x42, 0x1004, 2, 0, 0, body);
}

}  // namespace

TEST(CDVBSDTSectionTest, ServicesWithTheirFlagsAndDescriptors)
{
    auto sdt = ParseSection<CDVBSDTSection>(Sdt(B::SDTBody(
        0x233A, B::Cat({B::SDTService(0x1041, 4, false, B::ServiceDescriptor(1, "BBC", "BBC ONE")),
                        B::SDTService(0x1042, 1, true, {})}))));
    ASSERT_NE(sdt, nullptr);
    EXPECT_EQ(sdt->m_tableIdExtension, 0x1004);
    EXPECT_EQ(sdt->m_originalNetworkId, 0x233A);
    ASSERT_EQ(sdt->m_entries.size(), 2u);
    const CDVBSDTEntry* one = sdt->m_entries.front();
    EXPECT_EQ(one->m_serviceId, 0x1041);
    EXPECT_EQ(one->m_runningStatus, 4);
    EXPECT_EQ(one->m_freeCaMode, 0);
    EXPECT_EQ(one->m_eitScheduleFlag, 0);
    EXPECT_EQ(one->m_eitPresentFollowingFlag, 1);
    EXPECT_EQ(one->m_reserved, 0x3F);
    auto* service = static_cast<CDVBServiceDescriptor*>(one->m_descriptors.FindDescriptor(0x48));
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->m_serviceName, "BBC ONE");
    EXPECT_EQ(sdt->m_entries.back()->m_freeCaMode, 1);
}

TEST(CDVBSDTSectionTest, BodiesTooShortForAServiceAreEmptyOrRefused)
{
    CDebugLineCatcher lines;
    EXPECT_EQ(ParseSection<CDVBSDTSection>(Sdt({0x23, 0x3A})), nullptr);
    for (int size = 3; size <= 7; ++size) {
        auto sdt = ParseSection<CDVBSDTSection>(Sdt(Bytes(std::size_t(size), 0xFF)));
        ASSERT_NE(sdt, nullptr) << size;
        EXPECT_TRUE(sdt->m_entries.empty());
    }
    EXPECT_EQ(lines.Lines(), Lines{"SDT base size error.\n"});
}

TEST(CDVBSDTSectionTest, ALoopPastTheEndRefusesTheWholeSection)
{
    CDebugLineCatcher lines;
    Bytes body = B::SDTBody(1, B::Cat({B::SDTService(1, 4, false, {}), B::SDTService(2, 4, false, {})}));
    body[3 + 5 + 4] = 0x20;   // the second service's loop length: 32 bytes, none there
    EXPECT_EQ(ParseSection<CDVBSDTSection>(Sdt(body)), nullptr);
    EXPECT_EQ(lines.Lines(), Lines{"SDT descriptors length error.\n"});
}

TEST(CDVBSDTSectionTest, ABrokenDescriptorKeepsTheServiceAndSaysSo)
{
    CDebugLineCatcher lines;
    // a service descriptor that claims 30 bytes inside a loop of 10
    Bytes loop = B::Cat({{0x48, 30}, Bytes(8, 0x41)});
    auto sdt = ParseSection<CDVBSDTSection>(Sdt(B::SDTBody(1, B::SDTService(7, 4, false, loop))));
    ASSERT_NE(sdt, nullptr);
    ASSERT_EQ(sdt->m_entries.size(), 1u);
    EXPECT_EQ(sdt->m_entries.front()->m_serviceId, 7);
    EXPECT_EQ(lines.Lines(), Lines{"SDT descriptor decode error.\n"});
}
