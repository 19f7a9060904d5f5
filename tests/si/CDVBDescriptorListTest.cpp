#include "si/CDVBDescriptorList.h"

#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBShortEventDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using B = CTestSectionBuilder;

bool ParseLoop(CDVBDescriptorList& list, const Bytes& loop)
{
    Bytes exact(loop);   // exactly the loop's bytes: a read past it is caught
    return list.Parse(exact.data(), WORD(exact.size()));
}

template <typename T>
T* Find(const CDVBDescriptorList& list, BYTE tag)
{
    return static_cast<T*>(list.FindDescriptor(tag));
}

Bytes Terrestrial(DWORD frequency, BYTE byte4, BYTE byte5, BYTE byte6)
{
    return B::Descriptor(0x5A, {BYTE(frequency >> 24), BYTE(frequency >> 16), BYTE(frequency >> 8),
                                BYTE(frequency), byte4, byte5, byte6, 0xFF, 0xFF, 0xFF, 0xFF});
}

}  // namespace

TEST(CDVBDescriptorListTest, KeepsLoopOrderAndFindsTheFirstOfATag)
{
    CDVBDescriptorList list;
    ASSERT_TRUE(ParseLoop(list, B::Cat({B::ServiceDescriptor(0x01, "Prov A", "One"), B::Descriptor(0x52, {0x07}),
                                        B::ServiceDescriptor(0x02, "Prov B", "Two")})));
    ASSERT_EQ(list.size(), 3u);
    auto* service = Find<CDVBServiceDescriptor>(list, 0x48);
    ASSERT_NE(service, nullptr);
    EXPECT_EQ(service->m_serviceName, "One");
    EXPECT_EQ(service->m_providerName, "Prov A");
    EXPECT_EQ(service->m_serviceType, 0x01);
    CDVBDescriptor* bare = list.FindDescriptor(0x52);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(bare->m_length, 1);
    EXPECT_EQ(list.FindDescriptor(0x4D), nullptr);
}

TEST(CDVBDescriptorListTest, ShortOrLyingLoops)
{
    CDVBDescriptorList empty;
    EXPECT_TRUE(ParseLoop(empty, {}));
    EXPECT_TRUE(ParseLoop(empty, {0x48}));   // one stray byte
    EXPECT_TRUE(empty.empty());

    CDVBDescriptorList lying;   // the second descriptor claims 200 bytes with 10 left
    Bytes loop = B::Cat({B::Descriptor(0x52, {1}), {0x48, 200}, Bytes(10, 0x20)});
    EXPECT_FALSE(ParseLoop(lying, loop));
    EXPECT_EQ(lying.size(), 1u);
}

TEST(CDVBDescriptorListTest, TextIsKeptByteForByteWithItsSelector)
{
    CDVBDescriptorList list;
    // ISO 8859-9 selected by 0x05; emphasis codes 0x86/0x87 in the name
    const Bytes provider = {0x05, 'M', 0xFC, 'n', 'c', 'h', 'e', 'n'};
    const Bytes name = {0x86, 'T', 'R', 'T', 0x87};
    ASSERT_TRUE(ParseLoop(list, B::Descriptor(0x48, B::Cat({{0x01, BYTE(provider.size())}, provider,
                                                            {BYTE(name.size())}, name}))));
    auto* service = Find<CDVBServiceDescriptor>(list, 0x48);
    ASSERT_EQ(service->m_providerName.GetLength(), 8);
    EXPECT_EQ(service->m_providerName.GetAt(0), '\x05');
    EXPECT_EQ(static_cast<unsigned char>(service->m_providerName.GetAt(2)), 0xFCu);
    EXPECT_EQ(static_cast<unsigned char>(service->m_serviceName.GetAt(4)), 0x87u);
    EXPECT_EQ(service->m_serviceNameLength, 5);
}

TEST(CDVBDescriptorListTest, AServiceNameCutShortFailsButTheDescriptorStays)
{
    // the service name says 20 bytes, 5 are there
    Bytes payload = B::Cat({{0x01}, B::Counted("Prov"), {20}, B::Text("Short")});
    CDVBDescriptorList list;
    EXPECT_TRUE(ParseLoop(list, B::Descriptor(0x48, payload)));   // the loop itself is sound
    auto* kept = Find<CDVBServiceDescriptor>(list, 0x48);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->m_providerName, "Prov");
    EXPECT_EQ(kept->m_serviceName, "Short");
    CDVBServiceDescriptor alone;
    alone.m_length = BYTE(payload.size());
    EXPECT_FALSE(alone.Parse(payload.data()));
}

TEST(CDVBDescriptorListTest, LanguageDescriptorsNeedTheirFourBytes)
{
    CDVBDescriptorList list;
    ASSERT_TRUE(ParseLoop(list, B::Cat({B::Descriptor(0x0A, B::Text("eng")), B::LanguageDescriptor("fra", 3),
                                        B::Descriptor(0x59, B::Cat({B::Text("deu"), {0x10, 0, 1, 0, 2}}))})));
    ASSERT_EQ(list.size(), 3u);
    auto it = list.begin();
    EXPECT_STREQ(static_cast<CDVBISO639LanguageDescriptor*>(*it++)->m_languageCode, "");
    auto* french = static_cast<CDVBISO639LanguageDescriptor*>(*it++);
    EXPECT_STREQ(french->m_languageCode, "fra");
    EXPECT_EQ(french->m_audioType, 3);
    EXPECT_STREQ(static_cast<CDVBSubtitlingDescriptor*>(*it)->m_languageCode, "deu");
}

TEST(CDVBDescriptorListTest, ShortEventDescriptorReadsLanguageNameAndText)
{
    CDVBDescriptorList list;
    ASSERT_TRUE(ParseLoop(list, B::Cat({B::ShortEventDescriptor("eng", "News", "The day's news."),
                                        B::Descriptor(0x4D, B::Text("en"))})));   // too short for a language
    auto* event = Find<CDVBShortEventDescriptor>(list, 0x4D);
    EXPECT_EQ(event->m_languageCode, "eng");
    EXPECT_EQ(event->m_eventName, "News");
    EXPECT_EQ(event->m_text, "The day's news.");
    EXPECT_TRUE(static_cast<CDVBShortEventDescriptor*>(list.back())->m_languageCode.IsEmpty());
}

TEST(CDVBDescriptorListTest, TerrestrialFieldsAndReservedValuesStayInTheirTables)
{
    CDVBDescriptorList list;
    // 506 MHz, 8 MHz, 64-QAM, non-hierarchical, 2/3, 1/2, 1/32, 8k, other frequencies
    ASSERT_TRUE(ParseLoop(list, Terrestrial(50600000, 0x1F, 0x81, 0x03)));
    auto* t = Find<CDVBTerrestrialDeliverySystemDescriptor>(list, 0x5A);
    EXPECT_EQ(t->m_centreFrequency, 50600000u);
    EXPECT_EQ(t->m_reserved1, 0x1F);
    EXPECT_STREQ(t->GetCodeRateLPText(), "1/2");
    EXPECT_STREQ(t->GetTransmissionModeText(), "8k");
    EXPECT_EQ(t->m_otherFrequencyFlag, 1);
    EXPECT_EQ(t->m_reserved2, 0xFFFFFFFFu);
    // values past each names table: never an entry beyond it
    t->m_hierarchyInformation = 5;
    t->m_constellation = 3;
    t->m_bandwidth = 7;
    t->m_transmissionMode = 3;
    t->m_guardInterval = 9;
    EXPECT_STREQ(t->GetHierarchyText(), "reserved 2");
    EXPECT_STREQ(t->GetConstellationText(), "reserved");
    EXPECT_STREQ(t->GetBandwidthText(), "reserved 5");
    EXPECT_STREQ(t->GetTransmissionModeText(), "reserved 2");
    EXPECT_STREQ(t->GetGuardIntervalText(), "unknown");
}

TEST(CDVBDescriptorListTest, CopiesAreDeepAndLeaveTheSourceAlone)
{
    CDVBDescriptorList source;
    ASSERT_TRUE(ParseLoop(source, B::Cat({B::Descriptor(0x40, B::Text("Freeview")),
                                          Terrestrial(1, 0, 0, 0), B::ServiceDescriptor(1, "P", "N"),
                                          B::ShortEventDescriptor("eng", "A", "B"), B::LanguageDescriptor("cym"),
                                          B::Descriptor(0x59, B::Text("gla\x10")), B::Descriptor(0x99, {})})));
    CDVBDescriptorList copy;
    copy.push_back(CDVBDescriptor::CreateDescriptor(0x52));   // replaced by the copy
    copy.CopyFrom(source);
    ASSERT_EQ(copy.size(), source.size());
    auto* name = Find<CDVBNetworkNameDescriptor>(copy, 0x40);
    EXPECT_NE(name, source.FindDescriptor(0x40));
    EXPECT_EQ(name->m_networkName, "Freeview");
    name->m_networkName = "changed";
    EXPECT_EQ(Find<CDVBNetworkNameDescriptor>(source, 0x40)->m_networkName, "Freeview");
    EXPECT_EQ(Find<CDVBTerrestrialDeliverySystemDescriptor>(copy, 0x5A)->m_centreFrequency, 1u);
    EXPECT_EQ(Find<CDVBServiceDescriptor>(copy, 0x48)->m_serviceName, "N");
    EXPECT_EQ(Find<CDVBShortEventDescriptor>(copy, 0x4D)->m_text, "B");
    EXPECT_STREQ(Find<CDVBISO639LanguageDescriptor>(copy, 0x0A)->m_languageCode, "cym");
    EXPECT_STREQ(Find<CDVBSubtitlingDescriptor>(copy, 0x59)->m_languageCode, "gla");
    EXPECT_EQ(copy.FindDescriptor(0x99)->m_length, 0);
    EXPECT_EQ(copy.FindDescriptor(0x52), nullptr);
    std::unique_ptr<CDVBDescriptor> clone(source.FindDescriptor(0x40)->Clone());
    EXPECT_EQ(static_cast<CDVBNetworkNameDescriptor*>(clone.get())->m_networkName, "Freeview");
}
