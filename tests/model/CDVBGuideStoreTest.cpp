// Fed EIT and SDT sections as the receiver reports them.
#include "model/CDVBGuideStore.h"

#include "si/CDVBEITSection.h"
#include "si/CDVBSDTSection.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

Bytes Extended(BYTE number, BYTE last, const Bytes& items, const std::string& text)
{
    return B::Descriptor(0x4E, B::Cat({{BYTE(number << 4 | last)}, B::Text("deu"), {BYTE(items.size())}, items,
                                       B::Counted(text)}));
}

// Sections 0 and 1 of one segment, of a schedule that ends with table 0x50.
void Feed(CDVBGuideStore& store, BYTE tableId, BYTE version, BYTE section, const Bytes& events)
{
    const Bytes body = B::Cat({{0x04, 0x01, 0x22, 0x33, 0x01, 0x50}, events});
    const auto eit = ParseSection<CDVBEITSection>(B::Long(tableId, 7, version, section, 1, body));
    ASSERT_NE(eit, nullptr);
    store.OnReceiveEIT(eit.get());
}

}  // namespace

TEST(CDVBGuideStoreTest, KeepsEveryEventWithItsDescriptorsAndFollowsSectionVersions)
{
    CDVBGuideStore store;
    // 15 July 2004 (MJD 53201) 20:30 UTC for 1:30; a film for 16-year-olds in two parts
    const Bytes film = B::EITEvent(1, 53201, 0x203000, 0x013000, B::Cat({
        B::ShortEventDescriptor("deu", "Film", "Teil eins"),
        Extended(0, 1, B::Cat({B::Counted("Regie"), B::Counted("X"), B::Counted("Folge"), B::Counted("Der Anfang")}), "Lang "),
        Extended(1, 1, {}, "und gut."),
        B::Descriptor(0x54, {0x11, 0x00, 0xF0, 0x00}), B::Descriptor(0x55, {'D', 'E', 'U', 0x0D})}));
    const Bytes news = B::EITEvent(2, 53201, 0x220000, 0x003000, B::ShortEventDescriptor("eng", "News", ""));
    Feed(store, 0x4E, 0, 0, film);
    Feed(store, 0x4E, 0, 1, news);
    Feed(store, 0x50, 3, 0, B::Cat({film, news}));   // the schedule carries both too
    const std::uint64_t revision = store.GetRevision();
    Feed(store, 0x50, 3, 0, B::Cat({film, news}));   // a repeat
    EXPECT_EQ(store.GetRevision(), revision) << "a repeat changes nothing a reader would copy";
    std::vector<CDVBGuideStore::Event> events = store.GetEvents();
    ASSERT_EQ(events.size(), 2u);
    const CDVBGuideStore::Event& e = events[0];
    EXPECT_EQ(e.service, (CDVBGuideStore::ServiceKey{0x2233, 0x401, 7}));
    EXPECT_EQ(e.start, 1089923400);   // date -u -d '2004-07-15 20:30' +%s
    EXPECT_EQ(e.duration, 5400u);
    EXPECT_EQ(e.title, "Film");
    EXPECT_EQ(e.shortText, "Teil eins");
    EXPECT_EQ(e.extendedText, "Regie: X\nFolge: Der Anfang\nLang und gut.");
    EXPECT_EQ(e.episodeTitle, "Der Anfang") << "an item the broadcast names as the episode";
    EXPECT_EQ(e.genres, (std::vector<BYTE>{0x11, 0xF0}));
    ASSERT_EQ(e.ratings.size(), 1u);
    EXPECT_EQ(e.ratings[0].second, 0x0D);

    // the present section moves on: the film stays, carried by the schedule
    Feed(store, 0x4E, 1, 0, news);
    EXPECT_GT(store.GetRevision(), revision);
    EXPECT_EQ(store.GetEventCount(), 2u);
    Feed(store, 0x50, 4, 0, news);   // and once no section carries it, it is gone
    EXPECT_EQ(store.GetEventCount(), 1u);
    EXPECT_EQ(store.GetEvents()[0].title, "News");
}

TEST(CDVBGuideStoreTest, TheScheduleIsWholeWhenEverySectionItsSegmentsAnnounceHasCome)
{
    CDVBGuideStore store;
    EXPECT_FALSE(store.IsScheduleComplete());
    Feed(store, 0x50, 0, 0, {});
    EXPECT_FALSE(store.IsScheduleComplete());
    Feed(store, 0x50, 0, 1, {});
    EXPECT_TRUE(store.IsScheduleComplete());
    Feed(store, 0x4E, 0, 0, {});   // present/following takes no part
    EXPECT_TRUE(store.IsScheduleComplete());
}

TEST(CDVBGuideStoreTest, ServiceNamesComeFromEverySDT)
{
    CDVBGuideStore store;
    for (BYTE table : {0x42, 0x46}) {
        const auto sdt = ParseSection<CDVBSDTSection>(B::Long(table, table, 0, 0, 0, B::SDTBody(0x2233,
            B::SDTService(7, 4, false, B::ServiceDescriptor(1, "Prov", table == 0x42 ? "Here" : "There")))));
        ASSERT_NE(sdt, nullptr);
        store.OnReceiveSDT(sdt.get());
    }
    const auto services = store.GetServices();
    ASSERT_EQ(services.size(), 2u);
    EXPECT_EQ(services.at({0x2233, 0x42, 7}).name, "Here");
    EXPECT_EQ(services.at({0x2233, 0x46, 7}).provider, "Prov");
}
