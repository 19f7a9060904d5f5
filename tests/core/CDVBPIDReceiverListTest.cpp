#include "core/CDVBPIDReceiverList.h"

#include "tests/support/CRecordingPIDReceiver.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

namespace {

// Registers a further receiver on its own list the first time it sees a packet, as an
// SI receiver may when a PCR shares the PID of a program map.
class CAddingReceiver : public CRecordingPIDReceiver
{
public:
    CAddingReceiver(CReceptionLog* log, CDVBPIDReceiverList* list)
        : CRecordingPIDReceiver(log, 1), m_childLog(log), m_list(list)
    {
    }
    void OnReceivePacket(std::uint64_t number, BYTE* packet) override
    {
        CRecordingPIDReceiver::OnReceivePacket(number, packet);
        if (m_list) {
            m_list->Add(new CRecordingPIDReceiver(m_childLog, 2));
            m_list = nullptr;
        }
    }
private:
    CReceptionLog* m_childLog;
    CDVBPIDReceiverList* m_list;
};

}  // namespace

TEST(CDVBPIDReceiverListTest, FindsAndDeletesOnlyTheFirstOfAType)
{
    CReceptionLog log;
    CDVBPIDReceiverList list;
    auto* plain = new CRecordingPIDReceiver(&log, 10, 0);
    auto* firstSI = new CRecordingPIDReceiver(&log, 11, 1);
    auto* secondSI = new CRecordingPIDReceiver(&log, 12, 1);
    list.Add(plain);
    list.Add(firstSI);
    list.Add(secondSI);
    EXPECT_EQ(list.GetByType(1), firstSI);
    EXPECT_TRUE(list.HasType(0));
    EXPECT_FALSE(list.HasType(2));
    EXPECT_EQ(list.GetByType(2), nullptr);

    EXPECT_TRUE(list.DeleteByType(1));
    EXPECT_EQ(log.deleted, 1);
    EXPECT_EQ(list.GetByType(1), secondSI);
    EXPECT_FALSE(list.DeleteByType(2));
    EXPECT_EQ(list.GetCount(), 2u);
}

TEST(CDVBPIDReceiverListTest, RemovalHandsBackWithoutDeleting)
{
    CReceptionLog log;
    CDVBPIDReceiverList list;
    GUID cookie;
    cookie.Data1 = 0xC00C1E;
    auto* first = new CRecordingPIDReceiver(&log, 1);
    auto* marked = new CRecordingPIDReceiver(&log, 2);
    auto* alsoMarked = new CRecordingPIDReceiver(&log, 3);
    marked->SetCookie(&cookie);
    alsoMarked->SetCookie(&cookie);
    list.Add(first);
    list.Add(marked);
    list.Add(alsoMarked);

    EXPECT_EQ(list.RemoveByCookie(&cookie), marked);
    EXPECT_EQ(list.RemoveReceiver(first), first);
    EXPECT_EQ(list.RemoveReceiver(first), nullptr);
    EXPECT_EQ(log.deleted, 0);
    auto packet = CTestPacket::Payload(0x100);
    list.DeliverPacket(0, packet.data());
    EXPECT_EQ(log.NumbersOf(1).size(), 0u);
    EXPECT_EQ(log.NumbersOf(2).size(), 0u);
    EXPECT_EQ(log.NumbersOf(3).size(), 1u);
    delete first;
    delete marked;
    EXPECT_EQ(log.deleted, 2);
}

TEST(CDVBPIDReceiverListTest, DestructionDeletesWhatItHoldsButRemoveAllDoesNot)
{
    CReceptionLog log;
    auto* kept = new CRecordingPIDReceiver(&log, 1);
    {
        CDVBPIDReceiverList borrowing;
        borrowing.Add(kept);
        borrowing.RemoveAll();
    }
    EXPECT_EQ(log.deleted, 0);
    {
        CDVBPIDReceiverList owning;
        owning.Add(kept);
        owning.Add(new CRecordingPIDReceiver(&log, 2));
    }
    EXPECT_EQ(log.deleted, 2);
}

TEST(CDVBPIDReceiverListTest, AReceiverMayAddToItsOwnListWhileBeingCalled)
{
    CReceptionLog log;
    CDVBPIDReceiverList list;
    list.Add(new CAddingReceiver(&log, &list));
    auto packet = CTestPacket::Payload(0x100);
    list.DeliverPacket(0, packet.data());
    list.DeliverPacket(1, packet.data());
    EXPECT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(log.NumbersOf(1), (std::vector<std::uint64_t>{0, 1}));
    // the newcomer takes part from the packet during which it was added
    EXPECT_EQ(log.NumbersOf(2), (std::vector<std::uint64_t>{0, 1}));
}
