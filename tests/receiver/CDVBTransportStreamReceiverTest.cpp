// The receive thread on a manual clock, the tables its SI receivers report (fed without the
// thread), and whole periods on the system clock.
#include "receiver/CDVBTransportStreamReceiver.h"

#include "core/CDVBPIDReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBProgramClock.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBStandardTSUpdateHandler.h"
#include "platform/CEvent.h"
#include "platform/CManualClock.h"
#include "platform/CSingleLock.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CFedReceiver.h"
#include "tests/support/CRecordingPIDReceiver.h"
#include "tests/support/CScriptedSource.h"
#include "tests/support/CTestPacket.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using B = CTestSectionBuilder;
using Numbers = std::vector<std::uint64_t>;
using Updates = std::vector<std::pair<WORD, int>>;
using Programs = std::vector<std::pair<WORD, WORD>>;   // number, PMT PID
constexpr std::int64_t kMs = 1000000;

// The real thread on a manual clock: a Tick moves a millisecond on and returns once the thread waits again.
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

// Without the thread: a test feeds sections; Start() registers the SI receivers.
class CDVBTransportStreamReceiverSITest : public ::testing::Test
{
protected:
    CDVBTransportStreamReceiverSITest() { m_receiver.Start(); }

    void Send(WORD pid, const Bytes& section) { m_receiver.Send(pid, section); }
    void SendPat(BYTE v, const Programs& p) { Send(0, B::Long(0x00, 0x1004, v, 0, 0, B::PATBody(p))); }
    void SendPmt(WORD n, WORD pid, WORD pcr, const Bytes& s) { Send(pid, B::Long(2, n, 0, 0, 0, B::PMTBody(pcr, {}, s))); }
    void SendSdt(BYTE table, const Bytes& s, BYTE v = 0) { Send(0x11, B::Long(table, 0x1004, v, 0, 0, B::SDTBody(1, s))); }
    Updates Drain()
    {
        Updates updates;
        for (Updates::value_type u; m_handler.RemoveUpdate(u.first, u.second);)
            updates.push_back(u);
        return updates;
    }
    bool Complete() { return m_receiver.HasCompleteBasicServiceInformation(); }

    CDVBStandardTSUpdateHandler m_handler;
    CDVBTransportStreamSource m_source;
    CFedReceiver m_receiver{&m_source, &m_handler};
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
    EXPECT_EQ(pcr->GetPID(), 0x200) << "registered receivers learn their PID";
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
    EXPECT_EQ(deletedLog.milliseconds, 5);
    std::unique_ptr<CDVBPIDReceiver> removed(m_receiver.RemovePIDReceiverWithCookie(0x100, &cookie));
    ASSERT_EQ(removed.get(), marked);
    EXPECT_TRUE(m_receiver.DeletePIDReceiver(0x200, CDVBPIDReceiver::TypePCR));
    m_source.AddStep(CTestPacket::Stream({0x100}));
    Tick(20);   // a tick that touched the deleted receiver would be caught by the sanitizer run
    EXPECT_EQ(removedLog.NumbersOf(7), (Numbers{0, 1}));
    EXPECT_EQ(m_log.NumbersOf(1), (Numbers{0, 1, 2}));
    EXPECT_EQ(removedLog.milliseconds, 5);
    EXPECT_EQ(removedLog.deleted, 0) << "the caller's now";
    EXPECT_EQ(deletedLog.deleted, 1);
}

// Nobody asking for every millisecond, the thread wakes once a quiet period and reads until a
// read comes back short; one-second passes come every 1000 ms of the receiver's clock, the data
// flag says whether a packet came in the last, and a receiver that enrolls for every
// millisecond gets it from the next wake.
TEST_F(CDVBTransportStreamReceiverTest, WakesReadsAndOneSecondPassesFollowTheClock)
{
    const int quiet = int(CDVBTransportStreamReceiver::QuietPeriodMs), reads = 1500 / quiet;
    EXPECT_TRUE(m_receiver.WaitForStop(0)) << "before any period";
    for (int i = 0; i < 3; ++i)
        m_source.AddStep(CTestPacket::Stream(std::vector<WORD>(1024, 0x100)));   // whole buffers
    for (int i = 0; i < reads; ++i)   // the first with the whole buffers, then one a wake until 1500 ms
        m_source.AddStep(CTestPacket::Stream({0x100}));
    Begin();
    EXPECT_FALSE(m_receiver.WaitForStop(0));
    Tick(quiet - 1);
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 0u);
    Tick();
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 3u * 1024 + 1);
    Tick(999 - quiet);
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
    EXPECT_EQ(m_receiver.GetPacketsReceived(), 3u * 1024 + std::uint64_t(reads));
    m_clock.Advance(10000 * kMs);   // a stall: one tick, one pass, no burst of passes to catch up
    ASSERT_TRUE(m_clock.WaitForWaiters(1));
    EXPECT_EQ(m_receiver.GetSecondsSinceStart(), 4);

    m_receiver.AddPIDReceiver(0x300, new CRecordingPIDReceiver(&m_log, 2, CDVBPIDReceiver::TypePlain, true));
    Tick(quiet);   // the wake that finds it: its first notification
    Tick(10);
    EXPECT_EQ(m_log.milliseconds, 11);
    m_receiver.Stop();
    EXPECT_TRUE(m_receiver.WaitForStop(10000));
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

TEST_F(CDVBTransportStreamReceiverSITest, PATAndPMTMakeProgramsAndReceiversCompleteOnceEachHasItsMapAndService)
{
    EXPECT_FALSE(Complete());
    SendPat(0, {{0, 0x10}});
    EXPECT_TRUE(Complete()) << "only a network entry";
    EXPECT_TRUE(Drain().empty()) << "the network entry is no program";
    SendPat(1, {{0, 0x10}, {1, 0x100}, {2, 0x200}});
    EXPECT_EQ(Drain(), (Updates{{1, 1}, {2, 1}}));
    for (WORD pid : {0x0010, 0x0100, 0x0200})
        EXPECT_TRUE(m_receiver.HasPIDReceiver(pid, CDVBPIDReceiver::TypeSI)) << pid;
    SendPat(2, {{0, 0x10}, {1, 0x100}, {2, 0x200}});
    EXPECT_EQ(Drain(), (Updates{{1, 1}, {2, 1}})) << "a new version is notified again";
    SendPmt(1, 0x100, 0x101, B::Cat({B::PMTStream(0x02, 0x101), B::PMTStream(0x03, 0x102, B::LanguageDescriptor("eng"))}));
    EXPECT_EQ(Drain(), (Updates{{1, 2}}));
    Send(0x100, B::Long(2, 1, 1, 0, 0, B::PMTBody(0x101, {}, B::PMTStream(0x02, 0x101))));   // version 1
    SendPmt(2, 0x200, 0x201, B::PMTStream(0x02, 0x201));
    EXPECT_FALSE(Complete()) << "no services";
    EXPECT_TRUE(m_receiver.DeletePIDReceiver(0x101, CDVBPIDReceiver::TypePCR));
    EXPECT_FALSE(m_receiver.HasPIDReceiver(0x101, CDVBPIDReceiver::TypePCR)) << "a new map added a second";
    CDVBComponentDefinition definition;
    EXPECT_TRUE(m_receiver.GetComponentDefinition(1, 0x102, &definition));
    EXPECT_EQ(definition.m_description, "audio (eng)");
    EXPECT_FALSE(m_receiver.GetComponentDefinition(1, 0x103, &definition));
    SendSdt(0x42, B::Cat({B::SDTService(1, 4, false, {}), B::SDTService(2, 4, false, {}), B::SDTService(3, 4, false, {})}));
    EXPECT_FALSE(Complete()) << "service 3 has no map";
    SendPat(3, {{3, 0x300}});
    SendPmt(3, 0x300, 0x301, B::PMTStream(0x02, 0x301));
    EXPECT_TRUE(Complete());
}

// Only the actual SDT names programs and only the actual present/following EIT feeds their
// schedules. Programs stay in number order, one each, whatever order and names they come in;
// a program may come from the SDT alone.
TEST_F(CDVBTransportStreamReceiverSITest, OnlyActualTablesNameProgramsAndFeedTheirSchedules)
{
    SendPat(0, {{2, 0x200}, {1, 0x100}});
    Drain();
    const Bytes event = B::EITEvent(1, 0xCFD1, 0x120000, 0x010000, B::ShortEventDescriptor("eng", "News", ""));
    SendSdt(0x46, B::SDTService(9, 4, false, B::ServiceDescriptor(1, "Other", "Elsewhere")));
    Send(0x0012, B::Long(0x50, 1, 0, 0, 0, B::EITBody(1, 1, event)));
    Send(0x0012, B::Long(0x4F, 1, 0, 0, 1, B::EITBody(1, 1, event)));
    EXPECT_TRUE(Drain().empty());
    Send(0x0012, B::Long(0x4E, 1, 0, 0, 1, B::EITBody(1, 1, event)));
    auto services = [](const char* first) {
        return B::Cat({B::SDTService(1, 4, false, B::ServiceDescriptor(1, "P", first)),
                       B::SDTService(2, 4, false, B::ServiceDescriptor(1, "P", "Alpha")), B::SDTService(3, 4, true, {})});
    };
    SendSdt(0x42, services("Zeta"));
    EXPECT_EQ(Drain(), (Updates{{1, 4}, {1, 3}, {2, 3}, {3, 3}}));
    SendSdt(0x42, services("Aardvark"), 1);
    CDVBScheduleEntry now, next;
    EXPECT_EQ(m_receiver.GetNowAndNextInformation(1, &now, &next), 1);
    EXPECT_EQ(now.m_eventName, "News");
    EXPECT_EQ(m_receiver.GetNowAndNextInformation(8, &now, &next), 0);
    CSingleLock guard(*m_receiver.GetProgramsSection());
    EXPECT_EQ(m_receiver.GetProgram(9), nullptr);
    std::vector<std::string> names;
    for (const CDVBProgram* program : *m_receiver.GetProgramsList())
        names.emplace_back(program->m_serviceName.Str());
    EXPECT_EQ(names, (std::vector<std::string>{"Aardvark", "Alpha", "Service 0003"}));
}

TEST_F(CDVBTransportStreamReceiverSITest, TimeTablesWriteTheirLines)
{
    CDebugLineCatcher lines;
    Send(0x0014, B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07}));
    Send(0x0014, B::Short(0x73, {0xCF, 0x91, 0x20, 0x30, 0x05, 0xF0, 0x00, 0, 0, 0, 0}));   // MJD 53137
    EXPECT_EQ(lines.Lines(),
              (std::vector<std::string>{"TDT 15/07/2004 12:45:07.\n", "TOT 12/05/2004 20:30:05.\n"}));
}

TEST_F(CDVBTransportStreamReceiverSITest, BitrateIsTheMeanOfCountingPCRReceiversClocksGoByProgramAndResetForgets)
{
    // PCR receivers that measure 4 Mbit/s, nothing, and 6 Mbit/s; program 4 never gets its map
    SendPat(0, {{1, 0x100}, {2, 0x200}, {3, 0x300}, {4, 0x400}});
    SendPmt(1, 0x100, 0x101, {});
    SendPmt(2, 0x200, 0x201, {});
    SendPmt(3, 0x300, 0x301, {});
    // 100 packets between the two PCRs of each PID: 100 * 1504 * 90000 / 3384 = 4000000
    const Bytes filler = CTestPacket::Stream(std::vector<WORD>(98, 0x1FFF));
    for (Bytes packets : {CTestPacket::Pcr(0x101, 0), CTestPacket::Pcr(0x301, 0), filler, CTestPacket::Pcr(0x101, 3384),
                          CTestPacket::Pcr(0x301, 2256)})
        m_receiver.ProcessBuffer(packets.data(), DWORD(packets.size()));
    m_receiver.CalculateBitrate();
    EXPECT_EQ(m_receiver.GetBitrate(), 5000000);

    std::int64_t clock = 0;
    EXPECT_TRUE(m_receiver.GetProgramClock(1, clock));
    EXPECT_FALSE(m_receiver.GetProgramClock(2, clock));
    EXPECT_FALSE(m_receiver.GetProgramClock(4, clock)) << "no map: no PCR PID";
    {
        CDVBProgramClock programClock;
        programClock.SetTransportStreamReceiver(&m_receiver);
        EXPECT_TRUE(programClock.SetProgram(1));
        EXPECT_FALSE(programClock.SetProgram(4)) << "keeps program 1's PCR receiver";
        EXPECT_TRUE(programClock.GetProgramClock(clock, false));
    }
    m_receiver.Reset();
    EXPECT_FALSE(Complete());
    EXPECT_FALSE(m_receiver.HasPIDReceiver(0x0000, CDVBPIDReceiver::TypeSI));
    EXPECT_EQ(m_receiver.GetPCRReceiver(1), nullptr);
    CSingleLock guard(*m_receiver.GetProgramsSection());
    EXPECT_TRUE(m_receiver.GetProgramsList()->empty());
}
