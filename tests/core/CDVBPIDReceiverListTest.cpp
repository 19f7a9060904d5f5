// Find and delete by type: through the registry, in CDVBTransportStreamReceiverTest.
#include "core/CDVBPIDReceiverList.h"

#include "tests/support/CRecordingPIDReceiver.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <utility>

// A receiver may add to its own list while being called, as an SI receiver does when a PCR
// shares the PID of a program map.
TEST(CDVBPIDReceiverListTest, HandsBackWhatItRemovesDeletesWhatItHoldsAndTakesNewcomersMidCall)
{
    struct CAddingReceiver : CRecordingPIDReceiver
    {
        CAddingReceiver(CReceptionLog* log, CDVBPIDReceiverList* list) : CRecordingPIDReceiver(log, 0), list(list) {}
        void OnReceivePacket(std::uint64_t number, BYTE* packet) override
        {
            CRecordingPIDReceiver::OnReceivePacket(number, packet);
            if (list)
                std::exchange(list, nullptr)->Add(new CRecordingPIDReceiver(m_log, 4));
        }
        CDVBPIDReceiverList* list;
    };
    CReceptionLog log;
    GUID cookie{0xC00C1E};
    CDVBPIDReceiver *first = new CRecordingPIDReceiver(&log, 1), *marked = new CRecordingPIDReceiver(&log, 2),
                    *alsoMarked = new CRecordingPIDReceiver(&log, 3);
    marked->SetCookie(&cookie);
    alsoMarked->SetCookie(&cookie);
    auto packet = CTestPacket::Payload(0x100);
    {
        CDVBPIDReceiverList list;
        CDVBPIDReceiver* adding = new CAddingReceiver(&log, &list);
        for (CDVBPIDReceiver* receiver : {first, marked, alsoMarked, adding})
            list.Add(receiver);
        EXPECT_EQ(list.RemoveByCookie(nullptr), nullptr);
        EXPECT_EQ(list.RemoveByCookie(&cookie), marked) << "the first with the cookie";
        EXPECT_EQ(list.RemoveReceiver(first), first);
        EXPECT_EQ(list.RemoveReceiver(first), nullptr) << "removed twice";
        list.DeliverPacket(7, packet.data());
        list.DeliverPacket(8, packet.data());
        EXPECT_EQ(log.deleted, 0);
    }
    EXPECT_EQ(log.deleted, 3) << "the three still held: alsoMarked, adding and its newcomer";
    EXPECT_EQ(log.Entries().size(), 6u) << "removed receivers are called no more";
    EXPECT_EQ(log.NumbersOf(3), (std::vector<std::uint64_t>{7, 8}));
    EXPECT_EQ(log.NumbersOf(4), (std::vector<std::uint64_t>{7, 8})) << "a newcomer joins at the packet that added it";
    {
        CDVBPIDReceiverList borrowing;
        borrowing.Add(first);
        borrowing.RemoveAll();
    }
    EXPECT_EQ(log.deleted, 3) << "RemoveAll hands back, it does not delete";
    delete first;
    delete marked;
}
