// Bent sections; well-formed programs are compared with libdvbpsi in CDVBTransportStreamReceiverPeer.
#include "model/CDVBProgram.h"
#include "model/CDVBTrackList.h"

#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "tests/support/CTestSectionBuilder.h"

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

// Private PES is named by the first descriptor naming a coding; one too short leaves no language.
TEST(CDVBProgramTest, ElementDescriptionsAndCodecsByStreamTypeAndDescriptor)
{
    struct Case { BYTE streamType; Bytes descriptors; const char *description, *codec; };
    const Case cases[] = {
        {0x00, {}, "reserved", nullptr}, {0x10, {}, "unknown", nullptr},
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

TEST(CDVBProgramTest, ServiceTypeFromTheStreams)
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
    EXPECT_EQ(CDVBProgram::GetServiceTypeText(4), "");
    EXPECT_EQ(CDVBProgram::GetServiceTypeText(-1), "");
}

// Type, access and names from each SDT; one without a service descriptor keeps the names.
TEST(CDVBProgramTest, ServiceTypeAndNamesFromTheSDT)
{
    CDVBProgram program(7);
    EXPECT_EQ(program.GetAccessTypeText(), "unknown") << "not free to air before the SDT says so";
    ApplySdt(program, B::SDTService(7, 4, true, B::ServiceDescriptor(0x03, "P", "Teletext")));
    EXPECT_EQ(program.GetServiceTypeFromSDT(), CDVBProgram::ServiceUnknown);
    EXPECT_EQ(program.GetAccessTypeText(), "encrypted");
    // data, advanced codec SD and HEVC television, advanced codec radio
    for (const auto& [type, service] : {std::pair{0x0C, CDVBProgram::ServiceData}, {0x16, CDVBProgram::ServiceTelevision},
                                        {0x1F, CDVBProgram::ServiceTelevision}, {0x0A, CDVBProgram::ServiceRadio}}) {
        ApplySdt(program, B::SDTService(7, 4, false, B::ServiceDescriptor(BYTE(type), "BBC", "BBC ONE")));
        EXPECT_EQ(program.GetServiceTypeFromSDT(), service) << type;
    }
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

// Every entry a track: audio description by audio type or the supplementary audio
// descriptor, subtitles for the hard of hearing after the others, teletext subtitle pages,
// and what a viewer's languages choose among them.
TEST(CDVBProgramTest, TracksAndWhatALanguageChooses)
{
    const Bytes supplementaryDescription = B::Descriptor(0x7F, {0x06, 0x01 << 2 | 0x80 | 1, 'e', 'n', 'g'});
    const Bytes subtitles = B::Descriptor(0x59, B::Cat({B::Text("ger"), {0x20, 0, 1, 0, 1}, B::Text("deu"), {0x10, 0, 2, 0, 1}}));
    const Bytes teletext = B::Descriptor(0x56, B::Cat({B::Text("fra"), {0x09, 0x00}, B::Text("fra"), {0x10 | 0x00, 0x88}}));
    CDVBProgram program(1);
    program.OnReceivePMT(Pmt(B::Cat({B::PMTStream(0x02, 0x100), B::PMTStream(0x03, 0x101, B::LanguageDescriptor("deu")),
                                     B::PMTStream(0x03, 0x102, B::LanguageDescriptor("eng", 3)),
                                     B::PMTStream(0x06, 0x103, B::Cat({B::Descriptor(0x6A, {0}), supplementaryDescription})),
                                     B::PMTStream(0x06, 0x104, subtitles), B::PMTStream(0x06, 0x105, teletext)}))
                             .get());
    CDVBTrackList list;
    list.Read(program);
    std::vector<std::string> described;
    for (const CDVBTrackList::Track& track : list.GetTracks())
        described.push_back(std::to_string(track.pid) + " " + track.Describe());
    EXPECT_EQ(described, (std::vector<std::string>{"257 deu", "258 eng, audio description", "259 eng, audio description",
                                                   "260 ger, hard of hearing", "260 deu", "261 fra, teletext 100",
                                                   "261 fra, teletext 888"}));
    EXPECT_EQ(list.FindSound({"eng", "deu"})->pid, 0x101);   // description only when asked for
    EXPECT_EQ(list.FindSound({"eng-ad"})->pid, 0x102);
    EXPECT_EQ(list.FindSound({"tur"})->pid, 0x101);
    const CDVBTrackList::Track* german = list.FindSubtitles({"ger"});   // either of the two codes
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(german->compositionPage, 2);
    EXPECT_EQ(list.FindSubtitles({"ita"}), nullptr);
    EXPECT_EQ(list.FindSubtitles({"fra"})->page, 888);
    CDVBTrackList::Track asked;
    ASSERT_TRUE(list.FindSubtitles("777", asked));   // a page no descriptor names
    EXPECT_EQ(asked.pid, 0x105);
    EXPECT_EQ(asked.kind, CDVBTrackList::Kind::TeletextSubtitles);
    EXPECT_FALSE(list.FindSubtitles("099", asked));
}
