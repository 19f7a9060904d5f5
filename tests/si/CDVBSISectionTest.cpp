// Every section class on what the peer streams cannot show: lying lengths, truncation and stray
// bytes. Well-formed tables are compared with libdvbpsi in CDVBSISectionPeerTest.
#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBTDTSection.h"
#include "si/CDVBTOTSection.h"
#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;
using Outcome = std::pair<int, int>;

// What reading `bytes` gives: the section's entries (a TOT's descriptors) and its damaged
// descriptor loops, or -1 when refused.
Outcome Read(const Bytes& bytes)
{
    const auto read = [](const auto& section, std::size_t entries) {
        return section ? Outcome(int(entries), section->m_damagedDescriptorLoops) : Outcome(-1, 0);
    };
    const auto entries = [&](const auto& section) { return read(section, section ? section->m_entries.size() : 0); };
    switch (bytes.at(0)) {
    case 0x00: return entries(ParseSection<CDVBPATSection>(bytes));
    case 0x02: return entries(ParseSection<CDVBPMTSection>(bytes));
    case 0x40: return entries(ParseSection<CDVBNITSection>(bytes));
    case 0x42: return entries(ParseSection<CDVBSDTSection>(bytes));
    case 0x4E: return entries(ParseSection<CDVBEITSection>(bytes));
    case 0x70: return read(ParseSection<CDVBTDTSection>(bytes), 0);
    }
    const auto tot = ParseSection<CDVBTOTSection>(bytes);
    return read(tot, tot ? tot->m_descriptors.size() : 0);
}

Bytes Add(Bytes bytes, std::size_t at, int n)   // makes the length field at `at` lie
{
    bytes.at(at) = BYTE(bytes[at] + n);
    return bytes;
}

Bytes Pat(const Bytes& body) { return B::Long(0x00, 1, 0, 0, 0, body); }
Bytes Pmt(const Bytes& body) { return B::Long(0x02, 0x0101, 1, 0, 0, body); }
Bytes Sdt(const Bytes& body) { return B::Long(0x42, 0x1004, 2, 0, 0, body); }
Bytes Nit(const Bytes& body) { return B::Long(0x40, 0x3005, 0, 0, 0, body); }
Bytes Eit(const Bytes& events) { return B::Long(0x4E, 0x1041, 3, 0, 1, B::EITBody(0x1004, 0x233A, events)); }
Bytes Loop(std::size_t length) { return {BYTE(0xF0 | (length >> 8)), BYTE(length)}; }
Bytes NitBody(const Bytes& net, const Bytes& streams) { return B::Cat({Loop(net.size()), net, Loop(streams.size()), streams}); }
Bytes TransportStream(const Bytes& descriptors) { return B::Cat({{0, 1, 0, 1}, Loop(descriptors.size()), descriptors}); }
// A TOT with a given descriptor loop and `tail` bytes where the CRC goes.
Bytes Tot(const Bytes& loop, std::size_t tail)
{
    return B::Short(0x73, B::Cat({{0xCF, 0xD1, 0x12, 0x45, 0x07}, Loop(loop.size()), loop, Bytes(tail, 0xAB)}));
}

// Video, then French audio with a language descriptor: a map as broadcast, bent by each case.
const Bytes kPmtBody = B::PMTBody(0x100, {}, B::Cat({B::PMTStream(0x1B, 0x100),
                                                     B::PMTStream(0x03, 0x101, B::LanguageDescriptor("fra"))}));
const Bytes kNetworkName = B::Descriptor(0x40, B::Text("Net"));
const Bytes kTwoEmptyServices = B::SDTBody(1, B::Cat({B::SDTService(1, 4, false, {}), B::SDTService(2, 4, false, {})}));
const Bytes kTwoEmptyEvents = B::Cat({B::EITEvent(1, 1, 0, 0, {}), B::EITEvent(2, 1, 0, 0, {})});

}  // namespace

// A section bent one way and what reading it gives. The CRC_32 field is required but, as
// everywhere in a section class, not checked. A damaged descriptor ends its own loop in every
// table (docs/choices.md): one case for each kind of loop, a table's last after a good descriptor.
TEST(CDVBSISectionTest, LyingLengthsAndTruncationNeverReadPastTheSection)
{
    struct Case { const char* name; Bytes bytes; int entries; int damagedLoops = 0; };
    const Bytes damaged = {0x4D, 40, 'e', 'n'};
    const Case cases[] = {
        {"PATNetworkPIDAndAProgram", Pat(B::PATBody({{0, 0x10}, {0x1001, 0x100}})), 2}, {"PATEmptyBody", Pat({}), 0},
        {"PATStrayBytes", Pat(B::Cat({B::PATBody({{1, 0x100}}), {1, 2, 3}})), 1},
        {"PATSectionLengthOneTooLong", Add(Pat(B::PATBody({{1, 0x100}})), 2, 1), -1}, {"PATTwoBytes", {0x00, 0xB0}, -1},
        {"PATSectionLength8", {0x00, 0xB0, 0x08, 0, 1, 0xC1, 0, 0, 0, 0, 0}, -1},
        {"PMTNoStreams", Pmt(B::PMTBody(0x1FFF, {}, {})), 0}, {"PMTProgramInfoLength", Pmt(Add(kPmtBody, 3, 40)), -1},
        {"PMTFourStrayBytes", Pmt(B::Cat({kPmtBody, Bytes(4, 0xE1)})), 2},
        {"PMTLastESInfoLength", Pmt(Add(kPmtBody, 13, 40)), -1},
        {"PMTSectionLength", Add(Pmt(kPmtBody), 2, 40), -1}, {"PMTBodyOfThreeBytes", Pmt({0xE1, 0x00, 0xF0}), -1},
        {"SDTBodyOfTwoBytes", Sdt({0x23, 0x3A}), -1},
        {"SDTBodyOfThreeBytes", Sdt(Bytes(3, 0xFF)), 0}, {"SDTBodyOfSevenBytes", Sdt(Bytes(7, 0xFF)), 0},
        {"SDTSecondServicesLoop", Sdt(Add(kTwoEmptyServices, 12, 0x20)), -1},
        {"NITNetworkLoopPastTheBody", Nit(B::Cat({Loop(40), kNetworkName})), -1},
        {"NITNoStreamLoopLength", Nit(B::Cat({Loop(kNetworkName.size()), kNetworkName})), -1},
        {"NITStreamLoopPastTheBody", Nit(B::Cat({Loop(0), Loop(12), Bytes(6, 0)})), -1},
        {"NITStreamDescriptorsPastTheirLoop", Nit(NitBody({}, Add(TransportStream(Bytes(13, 0)), 5, 1))), -1},
        {"NITNoStreams", Nit(NitBody(kNetworkName, {})), 0},
        {"NITBytesAfterTheStreamLoop", Nit(B::Cat({NitBody({}, TransportStream({})), {0xAA, 0xBB}})), 1},
        {"EITNoEvents", Eit({}), 0}, {"EITSecondEventsLoop", Eit(Add(kTwoEmptyEvents, 23, 5)), -1},
        {"EITElevenStrayBytes", Eit(B::Cat({B::EITEvent(1, 1, 0, 0, {}), Bytes(11, 0xEE)})), 1},
        {"EITBodyOfFiveBytes", B::Long(0x4E, 1, 0, 0, 0, {0, 1, 0, 2, 0}), -1},
        {"TDTOfFourBytes", B::Short(0x70, {0xCF, 0xD1, 0x12, 0x45}), -1}, {"TOTSectionLength11", Tot({}, 4), 0},
        {"TOTSectionLength6", B::Short(0x73, {0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0}), -1},
        {"TOTLoopPastTheSection", B::Short(0x73, {0xCF, 0xD1, 0x12, 0x45, 0x07, 0xF0, 20, 1, 2, 3}), -1},
        {"TOTNoRoomForTheCRC", Tot({}, 3), -1},
        {"PMTProgramLoop", Pmt(B::PMTBody(0x100, damaged, B::PMTStream(0x1B, 0x100))), 1, 1},
        {"PMTStreamLoop", Pmt(Add(kPmtBody, 15, 40)), 2, 1},
        {"SDTServiceLoop", Sdt(B::SDTBody(1, B::Cat({B::SDTService(7, 4, false, damaged), B::SDTService(8, 4, false, {})}))), 2, 1},
        {"NITNetworkLoop", Nit(NitBody(B::Cat({kNetworkName, damaged}), TransportStream({}))), 1, 1},
        {"NITStreamLoop", Nit(NitBody({}, B::Cat({TransportStream(damaged), TransportStream({})}))), 2, 1},
        {"EITEventLoop", Eit(B::Cat({B::EITEvent(1, 1, 0, 0, damaged), B::EITEvent(2, 1, 0, 0, {})})), 2, 1},
        {"TOTLoop", Tot(B::Cat({B::Descriptor(0x58, Bytes(13, 0)), damaged}), 4), 1, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.bytes), Outcome(c.entries, c.damagedLoops)) << c.name;
}
