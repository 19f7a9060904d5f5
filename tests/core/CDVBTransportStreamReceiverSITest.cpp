// What the receiver makes of the tables its SI receivers report: programs, registrations
// of further receivers, update notifications and queries.
#include "core/CDVBTransportStreamReceiver.h"

#include "core/CDVBPIDReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBPCRReceiver.h"
#include "decode/CDVBProgramClock.h"
#include "model/CDVBComponentDefinition.h"
#include "model/CDVBStandardTSUpdateHandler.h"
#include "platform/CSingleLock.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CTestPacket.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;
using Updates = std::vector<std::pair<WORD, int>>;

class CTestableReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::CalculateBitrate;
    using CDVBTransportStreamReceiver::ProcessBuffer;
};

class CDVBTransportStreamReceiverSITest : public ::testing::Test
{
protected:
    CDVBTransportStreamReceiverSITest() { m_receiver.Start(); }   // SI receivers, no thread

    void Send(WORD pid, const Bytes& section)
    {
        for (Bytes packet : B::Packetise(pid, section, m_continuity[pid]))
            m_receiver.ProcessBuffer(packet.data(), DWORD(packet.size()));
    }
    void SendPat(BYTE version = 0)
    {
        Send(0x0000, B::Long(0x00, 0x1004, version, 0, 0, B::PATBody({{0, 0x10}, {1, 0x100}, {2, 0x200}})));
    }
    void SendPmt(WORD program, WORD pmtPid, WORD pcrPid, const Bytes& streams)
    {
        Send(pmtPid, B::Long(0x02, program, 0, 0, 0, B::PMTBody(pcrPid, {}, streams)));
    }
    void SendSdt(BYTE tableId, const Bytes& services, BYTE version = 0)
    {
        Send(0x0011, B::Long(tableId, 0x1004, version, 0, 0, B::SDTBody(0x233A, services)));
    }
    Updates Drain()
    {
        Updates updates;
        WORD program = 0;
        int type = 0;
        while (m_handler.RemoveUpdate(program, type))
            updates.emplace_back(program, type);
        return updates;
    }

    CDVBStandardTSUpdateHandler m_handler;
    CDVBTransportStreamSource m_source;
    CTestableReceiver m_receiver{&m_source, &m_handler};
    BYTE m_continuity[8192] = {};
};

}  // namespace

TEST_F(CDVBTransportStreamReceiverSITest, PATCreatesProgramsAndListensOnTheirPIDs)
{
    EXPECT_FALSE(m_receiver.HasCompleteBasicServiceInformation());
    SendPat();
    EXPECT_EQ(Drain(), (Updates{{1, 1}, {2, 1}}));
    for (WORD pid : {0x0010, 0x0100, 0x0200})
        EXPECT_TRUE(m_receiver.HasPIDReceiver(pid, CDVBPIDReceiver::TypeSI)) << pid;
    {
        CSingleLock guard(*m_receiver.GetProgramsSection());
        ASSERT_EQ(m_receiver.GetProgramsList()->size(), 2u);
        EXPECT_EQ(m_receiver.GetProgram(2)->m_pmtPid, 0x200);
        EXPECT_EQ(m_receiver.GetProgram(2)->m_patTransportStreamId, 0x1004);
    }
    SendPat(1);   // a new version: notified again, nothing new registered
    EXPECT_EQ(Drain(), (Updates{{1, 1}, {2, 1}}));
    EXPECT_FALSE(m_receiver.HasCompleteBasicServiceInformation());
}

TEST_F(CDVBTransportStreamReceiverSITest, PMTRegistersOnePCRReceiverPerPID)
{
    SendPat();
    Drain();
    SendPmt(1, 0x100, 0x101, B::Cat({B::PMTStream(0x02, 0x101), B::PMTStream(0x03, 0x102, B::LanguageDescriptor("eng"))}));
    EXPECT_EQ(Drain(), (Updates{{1, 2}}));
    EXPECT_NE(m_receiver.GetPIDReceiver(0x101, CDVBPIDReceiver::TypePCR), nullptr);
    Send(0x100, B::Long(0x02, 1, 1, 0, 0, B::PMTBody(0x101, {}, B::PMTStream(0x02, 0x101))));
    ASSERT_NE(m_receiver.GetPIDReceiver(0x101, CDVBPIDReceiver::TypePCR), nullptr);
    EXPECT_TRUE(m_receiver.DeletePIDReceiver(0x101, CDVBPIDReceiver::TypePCR));
    EXPECT_FALSE(m_receiver.HasPIDReceiver(0x101, CDVBPIDReceiver::TypePCR));   // there was only one

    CDVBComponentDefinition definition;
    definition.m_description = "before";
    EXPECT_TRUE(m_receiver.GetComponentDefinition(1, 0x102, &definition));
    EXPECT_EQ(definition.m_description, "audio (eng)");
    EXPECT_FALSE(m_receiver.GetComponentDefinition(1, 0x103, &definition));
    EXPECT_EQ(definition.m_description, "audio (eng)");
    EXPECT_EQ(definition.m_pid, 0x103);
    EXPECT_EQ(definition.m_programNumber, 1);
}

TEST_F(CDVBTransportStreamReceiverSITest, OnlyTheActualSDTNamesPrograms)
{
    SendSdt(0x46, B::SDTService(9, 4, false, B::ServiceDescriptor(1, "Other", "Elsewhere")));
    EXPECT_TRUE(Drain().empty());
    SendSdt(0x42, B::Cat({B::SDTService(1, 4, false, B::ServiceDescriptor(1, "BBC", "BBC ONE")),
                          B::SDTService(3, 4, true, {})}));
    EXPECT_EQ(Drain(), (Updates{{1, 3}, {3, 3}}));
    CSingleLock guard(*m_receiver.GetProgramsSection());
    EXPECT_EQ(m_receiver.GetProgram(9), nullptr);
    EXPECT_EQ(m_receiver.GetProgram(1)->m_serviceName, "BBC ONE");
    EXPECT_NE(m_receiver.GetProgram(3), nullptr);   // named by the SDT alone
}

TEST_F(CDVBTransportStreamReceiverSITest, ANewNameKeepsTheProgramInItsPlace)
{
    SendPat();
    SendSdt(0x42, B::Cat({B::SDTService(1, 4, false, B::ServiceDescriptor(1, "P", "Zeta")),
                          B::SDTService(2, 4, false, B::ServiceDescriptor(1, "P", "Alpha"))}));
    SendSdt(0x42, B::Cat({B::SDTService(1, 4, false, B::ServiceDescriptor(1, "P", "Aardvark")),
                          B::SDTService(2, 4, false, B::ServiceDescriptor(1, "P", "Alpha"))}),
            1);
    CSingleLock guard(*m_receiver.GetProgramsSection());
    std::vector<std::string> names;
    for (const CDVBProgram* program : *m_receiver.GetProgramsList())
        names.emplace_back(program->m_serviceName.Str());
    EXPECT_EQ(names, (std::vector<std::string>{"Aardvark", "Alpha"}));
    EXPECT_EQ(m_receiver.GetProgramsList()->front()->m_programNumber, 1);
}

TEST_F(CDVBTransportStreamReceiverSITest, OnlyPresentFollowingActualEITFeedsTheSchedule)
{
    const Bytes event = B::EITEvent(1, 0xCFD1, 0x120000, 0x010000, B::ShortEventDescriptor("eng", "News", ""));
    Send(0x0012, B::Long(0x50, 7, 0, 0, 0, B::EITBody(1, 1, event)));
    EXPECT_TRUE(Drain().empty());
    Send(0x0012, B::Long(0x4E, 7, 0, 0, 1, B::EITBody(1, 1, event)));
    EXPECT_EQ(Drain(), (Updates{{7, 4}}));
    CDVBScheduleEntry now, next;
    EXPECT_EQ(m_receiver.GetNowAndNextInformation(7, &now, &next), 1);
    EXPECT_EQ(now.m_eventName, "News");
    EXPECT_EQ(m_receiver.GetNowAndNextInformation(8, &now, &next), 0);
}

TEST_F(CDVBTransportStreamReceiverSITest, CompleteOnceEveryProgramHasItsMapAndItsService)
{
    Send(0x0000, B::Long(0x00, 1, 0, 0, 0, B::PATBody({{0, 0x10}})));
    EXPECT_TRUE(m_receiver.HasCompleteBasicServiceInformation());   // only a network entry
    SendPat(1);
    SendPmt(1, 0x100, 0x101, B::PMTStream(0x02, 0x101));
    SendPmt(2, 0x200, 0x201, B::PMTStream(0x02, 0x201));
    EXPECT_FALSE(m_receiver.HasCompleteBasicServiceInformation());
    SendSdt(0x42, B::Cat({B::SDTService(1, 4, false, {}), B::SDTService(2, 4, false, {}),
                          B::SDTService(3, 4, false, {})}));
    EXPECT_FALSE(m_receiver.HasCompleteBasicServiceInformation());   // service 3 has no map
    Send(0x0000, B::Long(0x00, 1, 2, 0, 0, B::PATBody({{3, 0x300}})));
    SendPmt(3, 0x300, 0x301, B::PMTStream(0x02, 0x301));
    EXPECT_TRUE(m_receiver.HasCompleteBasicServiceInformation());
}

TEST_F(CDVBTransportStreamReceiverSITest, TimeTablesWriteTheirLines)
{
    CDebugLineCatcher lines;
    Send(0x0014, B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45, 0x07}));
    // 12 May 2004 is MJD 53137
    Send(0x0014, B::Short(0x73, {0xCF, 0x91, 0x20, 0x30, 0x05, 0xF0, 0x00, 0, 0, 0, 0}));
    EXPECT_EQ(lines.Lines(),
              (std::vector<std::string>{"TDT 15/07/2004 12:45:07.\n", "ok TOT 1.\n", "TOT 12/05/2004 20:30:05.\n"}));
}

TEST_F(CDVBTransportStreamReceiverSITest, ResetForgetsProgramsAndReceivers)
{
    SendPat();
    SendPmt(1, 0x100, 0x101, B::PMTStream(0x02, 0x101));
    m_receiver.Reset();
    EXPECT_FALSE(m_receiver.HasCompleteBasicServiceInformation());
    EXPECT_FALSE(m_receiver.HasPIDReceiver(0x0000, CDVBPIDReceiver::TypeSI));
    EXPECT_EQ(m_receiver.GetPCRReceiver(1), nullptr);
    CSingleLock guard(*m_receiver.GetProgramsSection());
    EXPECT_TRUE(m_receiver.GetProgramsList()->empty());
}

TEST_F(CDVBTransportStreamReceiverSITest, BitrateIsTheMeanOfTheCountingPCRReceivers)
{
    // three programs on PCR PIDs whose receivers measure 4 Mbit/s, nothing, and 6 Mbit/s
    Send(0x0000, B::Long(0x00, 1, 0, 0, 0, B::PATBody({{1, 0x100}, {2, 0x200}, {3, 0x300}, {4, 0x400}})));
    SendPmt(1, 0x100, 0x101, {});
    SendPmt(2, 0x200, 0x201, {});
    SendPmt(3, 0x300, 0x301, {});
    // program 4 never gets its map: skipped without a lookup
    // 100 packets between the two PCRs of each PID: 100 * 1504 * 90000 / 3384 = 4000000
    Bytes a = CTestPacket::Pcr(0x101, 0), b = CTestPacket::Pcr(0x101, 3384);
    Bytes c = CTestPacket::Pcr(0x301, 0), d = CTestPacket::Pcr(0x301, 2256);   // 6000000
    Bytes filler = CTestPacket::Stream(std::vector<WORD>(98, 0x1FFF));
    m_receiver.ProcessBuffer(a.data(), 188);
    m_receiver.ProcessBuffer(c.data(), 188);
    m_receiver.ProcessBuffer(filler.data(), DWORD(filler.size()));
    m_receiver.ProcessBuffer(b.data(), 188);
    m_receiver.ProcessBuffer(d.data(), 188);
    ASSERT_EQ(static_cast<CDVBPCRReceiver*>(m_receiver.GetPIDReceiver(0x101, 2))->GetBitrate(), 4000000);
    ASSERT_EQ(static_cast<CDVBPCRReceiver*>(m_receiver.GetPIDReceiver(0x201, 2))->GetBitrate(), 0);
    ASSERT_EQ(static_cast<CDVBPCRReceiver*>(m_receiver.GetPIDReceiver(0x301, 2))->GetBitrate(), 6000000);
    m_receiver.CalculateBitrate();
    EXPECT_EQ(m_receiver.GetBitrate(), 5000000);

    std::int64_t clock = 0;
    EXPECT_TRUE(m_receiver.GetProgramClock(1, clock));
    CString text;
    EXPECT_TRUE(m_receiver.GetProgramClock(1, text));
    EXPECT_FALSE(m_receiver.GetProgramClock(2, clock));
    EXPECT_FALSE(m_receiver.GetProgramClock(4, clock));   // no map: no PCR PID

    CDVBProgramClock programClock;
    EXPECT_FALSE(programClock.GetProgramClock(clock, false));
    programClock.SetTransportStreamReceiver(&m_receiver);
    EXPECT_FALSE(programClock.SetProgram(4));
    EXPECT_TRUE(programClock.SetProgram(1));
    EXPECT_FALSE(programClock.SetProgram(4));   // keeps program 1's PCR receiver
    EXPECT_TRUE(programClock.GetProgramClock(clock, false));
}
