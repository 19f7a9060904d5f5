// A program's elements, service type and names from bent sections; the peer streams' well-formed
// programs are compared with ffprobe in ServiceModelPeerTest and through lumrx.
#include "model/CDVBProgram.h"

#include "model/CDVBProgramList.h"
#include "platform/TimeZone.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/DVBTime.h"
#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

std::unique_ptr<CDVBPMTSection> Pmt(const Bytes& streams, WORD pcr = 0x100)
{
    return ParseSection<CDVBPMTSection>(B::Long(0x02, 1, 0, 0, 0, B::PMTBody(pcr, {}, streams)));
}

void ApplySdt(CDVBProgram& program, const Bytes& service)
{
    auto sdt = ParseSection<CDVBSDTSection>(B::Long(0x42, 0x1004, 0, 0, 0, B::SDTBody(1, service)));
    program.OnReceiveSDT(sdt.get(), sdt->m_entries.front());
}

const Bytes kSubtitles = B::Descriptor(0x59, B::Cat({B::Text("deu"), {0x10, 0, 1, 0, 1}}));
const Bytes kTeletext = B::Descriptor(0x56, B::Cat({B::Text("ita"), {0x09, 0x00}}));

}  // namespace

// Private PES is named by the first descriptor that names a coding; descriptors too short
// for a language leave it empty.
TEST(CDVBProgramTest, ElementDescriptionsAndCodecsByStreamTypeAndDescriptor)
{
    struct Case
    {
        BYTE streamType;
        Bytes descriptors;
        const char* description;
        const char* codec;
    };
    const Case cases[] = {
        {0x00, {}, "reserved", nullptr},
        {0x10, {}, "unknown", nullptr},
        {0x03, B::LanguageDescriptor("eng", 3), "audio description (eng)", "mp2"},
        {0x06, B::Descriptor(0x52, {0x01}), "private PES", nullptr},
        {0x06, B::Descriptor(0x59, B::Text("de")), "subtitles ()", "dvb_subtitle"},
        {0x06, B::Cat({B::LanguageDescriptor("fra"), B::Descriptor(0x6A, {0x00})}), "audio (fra)", "ac3"},
        {0x06, B::Cat({B::Descriptor(0x7A, {0x00}), B::LanguageDescriptor("eng", 3)}), "audio description (eng)", "eac3"},
        {0x06, B::Cat({kTeletext, kSubtitles}), "teletext (ita)", "dvb_teletext"},
        {0x06, B::Descriptor(0x56, B::Text("it")), "teletext ()", "dvb_teletext"},
    };
    for (const Case& c : cases) {
        CDVBProgram program(1);
        program.OnReceivePMT(Pmt(B::PMTStream(c.streamType, 0x100, c.descriptors)).get());
        EXPECT_EQ(program.m_elements.front()->GetDescription(), c.description) << int(c.streamType);
        EXPECT_STREQ(program.m_elements.front()->GetCodecName(), c.codec) << c.description;
    }
}

TEST(CDVBProgramTest, ServiceTypeFromTheStreamsAndFromTheSDT)
{
    const std::pair<Bytes, int> maps[] = {
        {B::Cat({B::PMTStream(0x03, 0x101), B::PMTStream(0x06, 0x102, kSubtitles)}), CDVBProgram::ServiceRadio},
        {B::Cat({B::PMTStream(0x06, 0x100, B::Descriptor(0x56, {})), B::PMTStream(0x11, 0x101)}), CDVBProgram::ServiceRadio},
        {B::PMTStream(0x0B, 0x100), CDVBProgram::ServiceData},
        {B::Cat({B::PMTStream(0x06, 0x100, kSubtitles), B::PMTStream(0x07, 0x102)}), CDVBProgram::ServiceUnknown},
    };
    for (std::size_t i = 0; i < std::size(maps); ++i) {
        CDVBProgram program(1);
        program.OnReceivePMT(Pmt(maps[i].first).get());
        EXPECT_EQ(program.GetServiceTypeFromPMT(), maps[i].second) << i;
    }
    CDVBProgram program(1);
    EXPECT_EQ(program.GetAccessTypeText(), "unknown");
    ApplySdt(program, B::SDTService(1, 4, true, B::ServiceDescriptor(0x03, "P", "Teletext")));
    EXPECT_EQ(program.GetServiceTypeFromSDT(), CDVBProgram::ServiceUnknown);
    EXPECT_EQ(program.GetAccessTypeText(), "encrypted");
    // data, advanced codec SD and HEVC television, advanced codec radio
    for (const auto& [type, service] : {std::pair{0x0C, CDVBProgram::ServiceData}, {0x16, CDVBProgram::ServiceTelevision},
                                        {0x1F, CDVBProgram::ServiceTelevision}, {0x0A, CDVBProgram::ServiceRadio}}) {
        ApplySdt(program, B::SDTService(1, 4, false, B::ServiceDescriptor(BYTE(type), "P", "HD")));
        EXPECT_EQ(program.GetServiceTypeFromSDT(), service) << type;
    }
    EXPECT_EQ(CDVBProgram::GetServiceTypeText(4), "");
    EXPECT_EQ(CDVBProgram::GetServiceTypeText(-1), "");
}

TEST(CDVBProgramTest, AnSDTWithoutAServiceDescriptorKeepsTheNames)
{
    CDVBProgram program(7);
    ApplySdt(program, B::SDTService(7, 2, false, {}));
    EXPECT_EQ(program.m_serviceName, "Service 0007");
    EXPECT_FALSE(program.m_hasServiceDescriptor);
    ApplySdt(program, B::SDTService(7, 4, false, B::ServiceDescriptor(1, "BBC", "BBC ONE")));
    ApplySdt(program, B::SDTService(7, 1, false, {}));
    EXPECT_EQ(program.m_serviceName, "BBC ONE");
    EXPECT_EQ(program.m_providerName, "BBC");
    EXPECT_EQ(program.m_runningStatus, 1);
}

TEST(CDVBProgramTest, ElementsOnlyGrowAndKeepTheirOrder)
{
    CDVBProgram program(1);
    program.OnReceivePMT(Pmt(B::Cat({B::PMTStream(0x02, 0x101), B::PMTStream(0x03, 0x102)})).get());
    program.OnReceivePMT(
        Pmt(B::Cat({B::PMTStream(0x04, 0x103), B::PMTStream(0x02, 0x101, B::LanguageDescriptor("eng"))}), 0x101).get());
    ASSERT_EQ(program.m_elements.size(), 3u);
    auto it = program.m_elements.begin();
    EXPECT_EQ((*it)->m_elementaryPid, 0x101);
    EXPECT_EQ((*it)->m_descriptors.size(), 1u);   // replaced by the new map's copies
    EXPECT_EQ((*++it)->m_elementaryPid, 0x102);   // no longer listed, still there
    EXPECT_EQ((*++it)->m_elementaryPid, 0x103);
    EXPECT_EQ(program.m_pcrPid, 0x101);
}

// An hour that ends after the clocks go back: both ends read 02:30, each with its own offset.
TEST(CDVBProgramTest, AnEventAcrossADaylightSavingChangeEndsAtItsOwnOffset)
{
    SetTimeZoneNameForTesting("Europe/Rome");
    CDVBProgram program(1);
    program.OnReceiveEIT(ParseSection<CDVBEITSection>(
        B::Long(0x4E, 1, 0, 0, 1, B::EITBody(0x1004, 1, B::EITEvent(0x10, 61338, 0x003000, 0x010000, {})))).get());
    CDVBScheduleEntry now, next;
    const int found = program.m_schedule.GetNowAndNextInformation(&now, &next);
    CString start, end;
    FormatIsoLocalTime(start, &now.m_utcStartTime);
    FormatIsoLocalTime(end, &now.m_utcEndTime);
    SetTimeZoneNameForTesting(nullptr);
    ASSERT_EQ(found, CDVBSchedule::HasNow);
    EXPECT_EQ(start, "2026-10-25T02:30:00+02:00");
    EXPECT_EQ(end, "2026-10-25T02:30:00+01:00");
    EXPECT_EQ(now.m_localEndTime.wHour, 2);
}

TEST(CDVBProgramListTest, StaysSortedAndUnique)
{
    CDVBProgramList list;
    list.GetOrCreateProgram(5);
    CDVBProgram* three = list.GetOrCreateProgram(3);
    list.GetOrCreateProgram(9);
    EXPECT_EQ(list.GetOrCreateProgram(3), three);
    std::vector<WORD> numbers;
    for (const CDVBProgram* program : list)
        numbers.push_back(program->m_programNumber);
    EXPECT_EQ(numbers, (std::vector<WORD>{3, 5, 9}));
    EXPECT_EQ(list.GetProgram(4), nullptr);
}
