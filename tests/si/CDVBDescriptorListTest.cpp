// Descriptor loops on what the peer streams cannot show: lying lengths, fields cut short and
// copies. Well-formed descriptors: CDVBSISectionPeerTest.
#include "si/CDVBDescriptorList.h"

#include "si/CDVBContentDescriptor.h"
#include "si/CDVBExtendedEventDescriptor.h"
#include "si/CDVBISO639LanguageDescriptor.h"
#include "si/CDVBLogicalChannelDescriptor.h"
#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBServiceDescriptor.h"
#include "si/CDVBShortEventDescriptor.h"
#include "si/CDVBSubtitlingDescriptor.h"
#include "si/CDVBTeletextDescriptor.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

// From exactly the loop's bytes: a read past it is caught.
CDVBByteReader Reader(const Bytes& exact) { return CDVBByteReader(exact.data(), WORD(exact.size())); }
bool ParseLoop(CDVBDescriptorList& list, Bytes exact) { return list.Parse(Reader(exact)); }

template <typename T>
T* Find(const CDVBDescriptorList& list, BYTE tag) { return static_cast<T*>(list.FindDescriptor(tag)); }

// The service name says 20 bytes, 5 are there.
const Bytes kNameCutShort = B::Cat({{0x01}, B::Counted("Prov"), {20}, B::Text("Short")});
// The second item's description says 9 bytes, its items have 1 left; the text follows them.
const Bytes kItemsCutShort = B::Cat({{0x01}, B::Text("eng"), {10}, B::Counted("Dir"), B::Counted("Ann"), {9, 'Q'},
                                     B::Counted("Plot")});

}  // namespace

TEST(CDVBDescriptorListTest, LyingLengthsKeepWhatCameBefore)
{
    struct Case { const char* name; Bytes loop; bool parses; std::size_t kept; };
    const Case cases[] = {
        {"empty", {}, true, 0}, {"one stray byte", {0x48}, true, 0},
        {"second claims 200 bytes, 10 there", B::Cat({B::Descriptor(0x52, {1}), {0x48, 200}, Bytes(10, 0x20)}), false, 1},
    };
    for (const Case& c : cases) {
        CDVBDescriptorList list;
        EXPECT_EQ(ParseLoop(list, c.loop), c.parses) << c.name;
        EXPECT_EQ(list.size(), c.kept) << c.name;
    }
    // a field that does not fit is read no further, and only its descriptor suffers
    CDVBDescriptorList list;
    ASSERT_TRUE(ParseLoop(list, B::Cat({B::Descriptor(0x48, kNameCutShort), B::Descriptor(0x0A, B::Text("eng")),
                                        B::Descriptor(0x4D, B::Text("en")), B::Descriptor(0x4E, kItemsCutShort),
                                        B::Descriptor(0x54, {0x10, 0x00, 0x20}), B::ShortEventDescriptor("eng", "A", "")})));
    auto* service = Find<CDVBServiceDescriptor>(list, 0x48);
    EXPECT_EQ(service->m_providerName, "Prov");
    EXPECT_EQ(service->m_serviceName, "Short");
    EXPECT_STREQ(Find<CDVBISO639LanguageDescriptor>(list, 0x0A)->m_languageCode, "");   // needs four bytes
    EXPECT_TRUE(Find<CDVBShortEventDescriptor>(list, 0x4D)->m_languageCode.IsEmpty());
    auto* extended = Find<CDVBExtendedEventDescriptor>(list, 0x4E);   // a damaged item ends the items
    ASSERT_EQ(extended->m_items.size(), 1u);
    EXPECT_EQ(extended->m_items[0].second, "Ann");
    EXPECT_EQ(extended->m_text, "Plot");
    EXPECT_EQ(Find<CDVBContentDescriptor>(list, 0x54)->m_contentNibbles, std::vector<BYTE>{0x10});   // half a pair is none
    EXPECT_EQ(list.back()->m_length, 6);   // the loop read on after them
    // on its own, each says it was damaged
    EXPECT_FALSE(CDVBServiceDescriptor().Parse(Reader(kNameCutShort)));
    EXPECT_FALSE(CDVBExtendedEventDescriptor().Parse(Reader(kItemsCutShort)));
    EXPECT_FALSE(CDVBContentDescriptor().Parse(Reader({0x10, 0x00, 0x20})));
}

// Each descriptor class copies its own fields, reserved ones too; the first of a tag is the one found.
TEST(CDVBDescriptorListTest, CopiesAreDeepAndReplaceWhatWasThere)
{
    CDVBDescriptorList source, copy;
    ASSERT_TRUE(ParseLoop(source, B::Cat({B::Descriptor(0x40, B::Text("Freeview")), B::ServiceDescriptor(1, "P", "N"),
                                          B::Descriptor(0x5A, {0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}),
                                          B::ServiceDescriptor(2, "Q", "M"), B::ShortEventDescriptor("eng", "A", "B"),
                                          B::LanguageDescriptor("cym"), B::Descriptor(0x59, B::Text("gla\x10")),
                                          B::Descriptor(0x99, {})})));
    copy.push_back(CDVBDescriptor::CreateDescriptor(0x52));
    copy.CopyFrom(source);
    ASSERT_EQ(copy.size(), source.size());
    EXPECT_EQ(copy.FindDescriptor(0x52), nullptr);
    Find<CDVBNetworkNameDescriptor>(copy, 0x40)->m_networkName = "changed";
    EXPECT_EQ(Find<CDVBNetworkNameDescriptor>(source, 0x40)->m_networkName, "Freeview");
    EXPECT_EQ(Find<CDVBServiceDescriptor>(copy, 0x48)->m_serviceName, "N");
    EXPECT_EQ(Find<CDVBTerrestrialDeliverySystemDescriptor>(copy, 0x5A)->m_centreFrequency, 1u);
    EXPECT_EQ(Find<CDVBTerrestrialDeliverySystemDescriptor>(copy, 0x5A)->m_reserved2, 0xFFFFFFFFu);   // reserved bits kept
    EXPECT_EQ(Find<CDVBShortEventDescriptor>(copy, 0x4D)->m_text, "B");
    EXPECT_STREQ(Find<CDVBISO639LanguageDescriptor>(copy, 0x0A)->m_languageCode, "cym");
    EXPECT_STREQ(Find<CDVBSubtitlingDescriptor>(copy, 0x59)->m_languageCode, "gla");
    EXPECT_EQ(copy.FindDescriptor(0x99)->m_length, 0);
    EXPECT_EQ(copy.FindDescriptor(0x4E), nullptr);
}

// Every track of a component, the last cut short; a copy keeps them all.
TEST(CDVBDescriptorListTest, SubtitlingAndTeletextKeepEveryEntry)
{
    CDVBDescriptorList source, copy;
    ASSERT_TRUE(ParseLoop(source, B::Cat({B::Descriptor(0x59, B::Cat({B::Text("deu"), {0x10, 0x00, 0x01, 0x00, 0x02},
                                                                       B::Text("deu"), {0x20, 0x00, 0x03, 0x00, 0x02},
                                                                       B::Text("fra"), {0x10, 0x00}})),
                                          B::Descriptor(0x56, B::Cat({B::Text("deu"), {0x09, 0x00}, B::Text("fra"),
                                                                      {0x12, 0x89}, B::Text("ita"), {0x10}}))})));
    copy.CopyFrom(source);
    const auto* subtitles = Find<CDVBSubtitlingDescriptor>(copy, 0x59);
    ASSERT_EQ(subtitles->m_entries.size(), 2u);
    EXPECT_STREQ(subtitles->m_languageCode, "deu");
    EXPECT_FALSE(subtitles->m_entries[0].ForHardOfHearing());
    EXPECT_TRUE(subtitles->m_entries[1].ForHardOfHearing());
    EXPECT_EQ(subtitles->m_entries[1].compositionPage, 3);
    EXPECT_EQ(subtitles->m_entries[1].ancillaryPage, 2);
    const auto* teletext = Find<CDVBTeletextDescriptor>(copy, 0x56);
    ASSERT_EQ(teletext->m_entries.size(), 2u);
    EXPECT_EQ(teletext->m_entries[0].page, 100);   // magazine 1
    EXPECT_FALSE(teletext->m_entries[0].Subtitles());
    EXPECT_EQ(teletext->m_entries[1].page, 289);
    EXPECT_TRUE(teletext->m_entries[1].Subtitles());
    EXPECT_STREQ(teletext->m_entries[1].languageCode, "fra");
}

// What no tool we have writes: NorDig's two versions, and a tag 0x83 of another specifier.
// EACEM's, behind its specifier, is read against libdvbpsi's on channel_numbers.ts (LumrxTest).
TEST(CDVBDescriptorListTest, ChannelNumbersFollowWhoseTheyAre)
{
    const Bytes nordig = B::Descriptor(0x5F, {0, 0, 0, 0x29});
    // service 0x0101 number 2000 hidden (976 in 10 bits); 0x0102 number 5, the reserved bits set as sent
    const Bytes v1 = B::Descriptor(0x83, {0x01, 0x01, 0x07, 0xD0, 0x01, 0x02, 0xC0, 0x05});
    const Bytes v2 = B::Descriptor(0x87, B::Cat({{1, 3}, B::Text("Alt"), B::Text("NOR"), {4, 0x01, 0x03, 0xFC, 0x09},
                                                 {2, 0}, B::Text("SWE"), {0}}));
    struct Case { const char* name; Bytes loop; std::vector<CDVBLogicalChannelDescriptor::Entry> entries; };
    const Case cases[] = {
        {"NorDig first version: 14 bits", B::Cat({nordig, v1}), {{0x0101, false, 2000}, {0x0102, true, 5}}},
        {"without a specifier, as EACEM: 10 bits", v1, {{0x0101, false, 976}, {0x0102, true, 5}}},
        {"NorDig second version: the first list", B::Cat({nordig, v2}), {{0x0103, true, 9}}},
        {"another specifier's tag 0x83", B::Cat({B::Descriptor(0x5F, {0, 0, 0, 2}), v1}), {}},
    };
    for (const Case& c : cases) {
        CDVBDescriptorList list;
        ASSERT_TRUE(ParseLoop(list, c.loop)) << c.name;
        const auto entries = CDVBLogicalChannelDescriptor::Collect(list);
        ASSERT_EQ(entries.size(), c.entries.size()) << c.name;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            EXPECT_EQ(entries[i].serviceId, c.entries[i].serviceId) << c.name;
            EXPECT_EQ(entries[i].visible, c.entries[i].visible) << c.name;
            EXPECT_EQ(entries[i].number, c.entries[i].number) << c.name;
        }
    }
}
