#include "receiver/CDVBTransportStreamReceiver.h"

#include "core/CDVBPIDReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "platform/CEvent.h"
#include "platform/CManualClock.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CRecordingPIDReceiver.h"
#include "tests/support/CScriptedSource.h"
#include "tests/support/CTestPacket.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using Numbers = std::vector<std::uint64_t>;
constexpr std::int64_t kMs = 1000000;

// The real thread on a manual clock: each Tick moves time on by a millisecond and returns
// once the thread has done that tick's work and waits again.
class CDVBTransportStreamReceiverTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_receiver.Initialise()); }
    void Begin()
    {
        m_receiver.Start();
        ASSERT_TRUE(m_clock.WaitForWaiters(1));   // the period has begun
    }
    void Tick(int count = 1) { ASSERT_TRUE(m_clock.Run(count, kMs, 1)); }
    void ReceiveScript()   // a period in which the source delivers its whole script
    {
        Begin();
        while (!m_source.m_drained.IsSet())
            Tick();
        m_receiver.Stop();
        ASSERT_TRUE(m_receiver.WaitForStop(10000));
    }
    void TearDown() override
    {
        m_receiver.Stop();
        m_receiver.WaitForStop(10000);
        m_receiver.DeInitialise();
    }

    CManualClock m_clock;
    CReceptionLog m_log;
    CScriptedSource m_source;
    CDVBTransportStreamReceiver m_receiver{&m_source, nullptr, &m_clock};
};

}  // namespace

TEST_F(CDVBTransportStreamReceiverTest, DispatchesEveryWholePacketInOrderNumberedFromStart)
{
    m_receiver.AddPIDReceiver(0x100, new CRecordingPIDReceiver(&m_log, 1));
    m_receiver.AddPIDReceiver(0x100, new CRecordingPIDReceiver(&m_log, 2));
    m_source.AddStep(CTestPacket::Stream({0x200, 0x100, 0x300, 0x100}));
    m_source.AddStep({});
    m_source.AddStep({});
    // 1000 bytes: five packets, the last 60 bytes dropped; neither the sync byte nor the
    // error flag is looked at
    std::vector<BYTE> read = CTestPacket::Stream({0x100, 0x100, 0x101, 0x100, 0x100});
    read[0] = 0x00;
    read[188 + 1] |= 0x80;
    read.resize(1000, 0x47);
    m_source.AddStep(read);
    m_source.AddStep(CTestPacket::Stream({0x100}));   // a new packet at byte 0 of the next read
    ReceiveScript();
    EXPECT_EQ(m_log.NumbersOf(1), (Numbers{1, 3, 4, 5, 7, 8, 9}));
    std::vector<int> order;
    for (const auto& entry : m_log.Entries())
        order.push_back(entry.tag);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 10u);

    m_source.AddStep(CTestPacket::Stream({0x100}));
    ReceiveScript();
    EXPECT_EQ(m_log.NumbersOf(1).back(), 0u) << "a new period counts from 0 again";
    m_receiver.DeInitialise();
    EXPECT_EQ(m_source.m_calls, (Calls{"Initialise", "Start", "Stop", "Start", "Stop", "DeInitialise"}));
}

TEST_F(CDVBTransportStreamReceiverTest, ReceiversRemovedOrDeletedMidPeriodAreCalledNoMoreAndPIDsAbove8191Refused)
{
    CReceptionLog removedLog, deletedLog;
    GUID cookie{0, 0x4C55};
    auto* marked = new CRecordingPIDReceiver(&removedLog, 7, CDVBPIDReceiver::TypePlain, true);
    marked->SetCookie(&cookie);
    auto* pcr = new CRecordingPIDReceiver(&deletedLog, 2, CDVBPIDReceiver::TypePCR, true);
    m_receiver.AddPIDReceiver(0x100, marked);
    m_receiver.AddPIDReceiver(0x100, new CRecordingPIDReceiver(&m_log, 1));
    m_receiver.AddPIDReceiver(0x200, pcr);
    EXPECT_EQ(pcr->GetPID(), 0x200);
    EXPECT_EQ(m_receiver.GetPIDReceiver(0x200, CDVBPIDReceiver::TypePCR), pcr);
    EXPECT_FALSE(m_receiver.HasPIDReceiver(0x200, CDVBPIDReceiver::TypeSI));
    {
        CDebugLineCatcher lines;
        m_receiver.AddPIDReceiver(0x2000, new CRecordingPIDReceiver(&m_log, 9));
        EXPECT_EQ(m_log.deleted, 1) << "refused, and not leaked";
        EXPECT_EQ(lines.Lines().size(), 1u);
    }
    EXPECT_FALSE(m_receiver.DeletePIDReceiver(0xFFFF, CDVBPIDReceiver::TypePlain));

    m_source.AddStep(CTestPacket::Stream({0x100, 0x100}));
    Begin();
    Tick(5);
    EXPECT_EQ(removedLog.milliseconds, 5);
    EXPECT_EQ(deletedLog.milliseconds, 5);
    std::unique_ptr<CDVBPIDReceiver> removed(m_receiver.RemovePIDReceiverWithCookie(0x100, &cookie));
    ASSERT_EQ(removed.get(), marked);
    EXPECT_EQ(m_receiver.RemovePIDReceiverWithCookie(0x100, &cookie), nullptr);
    EXPECT_TRUE(m_receiver.DeletePIDReceiver(0x200, CDVBPIDReceiver::TypePCR));
    m_source.AddStep(CTestPacket::Stream({0x100}));
    Tick(20);   // a tick that touched the deleted receiver would be caught by the sanitizer run
    EXPECT_EQ(removedLog.NumbersOf(7), (Numbers{0, 1}));
    EXPECT_EQ(m_log.NumbersOf(1), (Numbers{0, 1, 2}));
    EXPECT_EQ(removedLog.milliseconds, 5);
    EXPECT_EQ(removedLog.deleted, 0) << "the caller's now";
    EXPECT_EQ(deletedLog.deleted, 1);
}

// One-second passes come every 1000 ms of the receiver's clock; a read every quiet period
// brings packets until 1500 ms.
TEST_F(CDVBTransportStreamReceiverTest, OneSecondPassesAndTheDataFlagFollowTheClock)
{
    EXPECT_TRUE(m_receiver.WaitForStop(0)) << "before any period";
    const int reads = 1500 / int(CDVBTransportStreamReceiver::QuietPeriodMs);
    for (int i = 0; i < reads; ++i)
        m_source.AddStep(CTestPacket::Stream({0x100}));
    Begin();
    EXPECT_TRUE(m_receiver.IsReceiving());
    EXPECT_FALSE(m_receiver.WaitForStop(0));
    Tick(999);
    EXPECT_EQ(m_receiver.GetSecondsSinceStart(), 0);
    Tick();
    EXPECT_EQ(m_receiver.GetSecondsSinceStart(), 1);
    EXPECT_TRUE(m_receiver.IsDataBeingReceived());
    EXPECT_EQ(m_source.m_secondsNotified, 1);
    EXPECT_EQ(m_source.m_lastBitrate, 0) << "no PCR receiver, no bitrate";
    Tick(1999);
    EXPECT_TRUE(m_receiver.IsDataBeingReceived()) << "packets came until 1500 ms";
    Tick();
    EXPECT_FALSE(m_receiver.IsDataBeingReceived()) << "a whole second without a packet";
    EXPECT_EQ(m_receiver.GetSecondsSinceStart(), 3);
    EXPECT_EQ(m_receiver.GetPacketsReceived(), std::uint64_t(reads));
    m_clock.Advance(10000 * kMs);   // a stall: one tick, one pass, no burst of passes to catch up
    ASSERT_TRUE(m_clock.WaitForWaiters(1));
    EXPECT_EQ(m_receiver.GetSecondsSinceStart(), 4);
    m_receiver.Stop();
    EXPECT_FALSE(m_receiver.IsReceiving());
    EXPECT_TRUE(m_receiver.WaitForStop(10000));
}

// Nobody asking for every millisecond, the thread wakes once a quiet period and reads until
// a read comes back short; a receiver that enrolls gets every millisecond from the next wake.
TEST_F(CDVBTransportStreamReceiverTest, QuietWakesDrainTheSourceUntilAReceiverAsksForMilliseconds)
{
    const int quiet = int(CDVBTransportStreamReceiver::QuietPeriodMs);
    m_receiver.AddPIDReceiver(0x100, new CRecordingPIDReceiver(&m_log, 1));
    for (int i = 0; i < 3; ++i)
        m_source.AddStep(CTestPacket::Stream(std::vector<WORD>(1024, 0x100)));   // whole buffers
    m_source.AddStep(CTestPacket::Stream({0x100}));
    Begin();
    Tick(quiet - 1);
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 0u);
    Tick();
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 3u * 1024 + 1);

    m_receiver.AddPIDReceiver(0x300, new CRecordingPIDReceiver(&m_log, 2, CDVBPIDReceiver::TypePlain, true));
    Tick(quiet);   // the wake that finds it: its first notification
    Tick(10);
    EXPECT_EQ(m_log.milliseconds, 11);
}

// On the system clock: periods start and end with the thread running at full speed.
TEST(CDVBTransportStreamReceiverLifecycle, TwoHundredRoundsEndCleanly)
{
    for (int round = 0; round < 200; ++round) {
        CScriptedSource source;
        source.AddStep(CTestPacket::Stream({0x100, 0x101}));
        CReceptionLog log;
        auto receiver = std::make_unique<CDVBTransportStreamReceiver>(&source, nullptr);
        receiver->AddPIDReceiver(0x100, new CRecordingPIDReceiver(&log, 1, CDVBPIDReceiver::TypePlain, true));
        ASSERT_TRUE(receiver->Initialise());
        receiver->Start();
        ASSERT_EQ(source.m_drained.Wait(10000), WAIT_OBJECT_0) << round;
        receiver->Stop();
        ASSERT_TRUE(receiver->WaitForStop(10000)) << round;
        ASSERT_TRUE(receiver->DeInitialise());
        receiver.reset();
        EXPECT_EQ(log.deleted, 1);
        EXPECT_EQ(log.NumbersOf(1), (Numbers{0}));
    }
}

TEST(CDVBTransportStreamReceiverLifecycle, ThreadThatDoesNotEndIsLeftToFinishBeforeTheReceiverGoes)
{
    CDebugLineCatcher lines;
    CScriptedSource source;
    source.m_release.Reset();
    {
        CDVBTransportStreamReceiver receiver(&source, nullptr);
        ASSERT_TRUE(receiver.Initialise());
        receiver.Start();
        ASSERT_EQ(source.m_inRead.Wait(30000), WAIT_OBJECT_0);
        EXPECT_TRUE(receiver.DeInitialise());   // gives up after its second
        ASSERT_EQ(lines.Lines().size(), 1u);
        source.m_release.Set();
    }   // the destructor waits for the thread, which still ends its period
    EXPECT_EQ(source.m_calls.back(), "Stop");
}
