#include "core/CDVBPIDReceiverList.h"

#include "tests/support/CRecordingPIDReceiver.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

namespace {

// Registers a further receiver on its own list at its first packet, as an SI receiver may
// when a PCR shares the PID of a program map.
struct CAddingReceiver : CRecordingPIDReceiver
{
    CAddingReceiver(CReceptionLog* log, CDVBPIDReceiverList* list)
        : CRecordingPIDReceiver(log, 1), m_childLog(log), m_list(list) {}
    void OnReceivePacket(std::uint64_t number, BYTE* packet) override
    {
        CRecordingPIDReceiver::OnReceivePacket(number, packet);
        if (m_list)
            m_list->Add(new CRecordingPIDReceiver(m_childLog, 2));
        m_list = nullptr;
    }
    CReceptionLog* m_childLog;
    CDVBPIDReceiverList* m_list;
};

}  // namespace

TEST(CDVBPIDReceiverListTest, FindsAndDeletesOnlyTheFirstOfAType)
{
    CReceptionLog log;
    CDVBPIDReceiverList list;
    auto* firstSI = new CRecordingPIDReceiver(&log, 11, CDVBPIDReceiver::TypeSI);
    auto* secondSI = new CRecordingPIDReceiver(&log, 12, CDVBPIDReceiver::TypeSI);
    list.Add(new CRecordingPIDReceiver(&log, 10));
    list.Add(firstSI);
    list.Add(secondSI);
    EXPECT_EQ(list.GetByType(CDVBPIDReceiver::TypeSI), firstSI);
    EXPECT_FALSE(list.HasType(CDVBPIDReceiver::TypePCR));
    EXPECT_TRUE(list.DeleteByType(CDVBPIDReceiver::TypeSI));
    EXPECT_EQ(log.deleted, 1);
    EXPECT_EQ(list.GetByType(CDVBPIDReceiver::TypeSI), secondSI);
    EXPECT_FALSE(list.DeleteByType(CDVBPIDReceiver::TypePCR));
    EXPECT_EQ(list.GetCount(), 2u);
}

TEST(CDVBPIDReceiverListTest, HandsBackWhatItRemovesAndDeletesOnlyWhatItStillHolds)
{
    CReceptionLog log;
    GUID cookie;
    cookie.Data1 = 0xC00C1E;
    auto* first = new CRecordingPIDReceiver(&log, 1);
    auto* marked = new CRecordingPIDReceiver(&log, 2);
    auto* alsoMarked = new CRecordingPIDReceiver(&log, 3);
    marked->SetCookie(&cookie);
    alsoMarked->SetCookie(&cookie);
    {
        CDVBPIDReceiverList list;
        list.Add(first);
        list.Add(marked);
        list.Add(alsoMarked);
        EXPECT_EQ(list.RemoveByCookie(nullptr), nullptr);
        EXPECT_EQ(list.RemoveByCookie(&cookie), marked);
        EXPECT_EQ(list.RemoveReceiver(first), first);
        EXPECT_EQ(list.RemoveReceiver(first), nullptr);
        auto packet = CTestPacket::Payload(0x100);
        list.DeliverPacket(7, packet.data());
        EXPECT_EQ(log.deleted, 0);
    }
    EXPECT_EQ(log.deleted, 1);   // alsoMarked, the only one still held
    EXPECT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.NumbersOf(3), std::vector<std::uint64_t>{7});
    {
        CDVBPIDReceiverList borrowing;
        borrowing.Add(first);
        borrowing.RemoveAll();
    }
    EXPECT_EQ(log.deleted, 1);
    delete first;
    delete marked;
}

TEST(CDVBPIDReceiverListTest, AReceiverMayAddToItsOwnListWhileBeingCalled)
{
    CReceptionLog log;
    CDVBPIDReceiverList list;
    list.Add(new CAddingReceiver(&log, &list));
    auto packet = CTestPacket::Payload(0x100);
    list.DeliverPacket(0, packet.data());
    list.DeliverPacket(1, packet.data());
    EXPECT_EQ(log.NumbersOf(1), (std::vector<std::uint64_t>{0, 1}));
    // the newcomer takes part from the packet during which it was added
    EXPECT_EQ(log.NumbersOf(2), (std::vector<std::uint64_t>{0, 1}));
}
