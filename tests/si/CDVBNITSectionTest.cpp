#include "si/CDVBNITSection.h"

#include "si/CDVBNetworkNameDescriptor.h"
#include "si/CDVBTerrestrialDeliverySystemDescriptor.h"
#include "tests/support/CDebugLineCatcher.h"
#include "tests/support/CTestSectionBuilder.h"
#include "tests/support/ParseSection.h"

#include <gtest/gtest.h>

namespace {

using B = CTestSectionBuilder;

Bytes Loop(WORD length)
{
    return {BYTE(0xF0 | (length >> 8)), BYTE(length)};
}

Bytes TransportStream(WORD tsid, WORD onid, const Bytes& descriptors)
{
    return B::Cat({{BYTE(tsid >> 8), BYTE(tsid), BYTE(onid >> 8), BYTE(onid)}, Loop(WORD(descriptors.size())),
                   descriptors});
}

Bytes NitBody(const Bytes& network, const Bytes& streams)
{
    return B::Cat({Loop(WORD(network.size())), network, Loop(WORD(streams.size())), streams});
}

Bytes Nit(const Bytes& body)
{
    return B::Long(0x40, 0x3005, 0, 0, 0, body);
}

const Bytes kTerrestrial = B::Descriptor(0x5A, {0x02, 0xFA, 0xF0, 0x80, 0x1F, 0x81, 0x02, 0xFF, 0xFF, 0xFF, 0xFF});

}  // namespace

TEST(CDVBNITSectionTest, NetworkNameAndTransportStreams)
{
    CDebugLineCatcher lines;
    auto nit = ParseSection<CDVBNITSection>(
        Nit(NitBody(B::Descriptor(0x40, B::Text("Crystal Palace")),
                    B::Cat({TransportStream(0x1004, 0x233A, kTerrestrial), TransportStream(0x2004, 0x233A, {})}))));
    ASSERT_NE(nit, nullptr);
    EXPECT_EQ(nit->m_tableIdExtension, 0x3005);
    auto* name = static_cast<CDVBNetworkNameDescriptor*>(nit->m_descriptors.FindDescriptor(0x40));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->m_networkName, "Crystal Palace");
    ASSERT_EQ(nit->m_entries.size(), 2u);
    EXPECT_EQ(nit->m_entries.front()->m_transportStreamId, 0x1004);
    EXPECT_EQ(nit->m_entries.front()->m_originalNetworkId, 0x233A);
    auto* t = static_cast<CDVBTerrestrialDeliverySystemDescriptor*>(
        nit->m_entries.front()->m_descriptors.FindDescriptor(0x5A));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->m_centreFrequency, 50000000u);
    EXPECT_EQ(nit->m_entries.back()->m_transportDescriptorsLength, 0);
    EXPECT_TRUE(lines.Lines().empty());
}

TEST(CDVBNITSectionTest, WhatFailsTheNetworkAndWhatDoesNot)
{
    CDebugLineCatcher lines;
    const Bytes network = B::Descriptor(0x40, B::Text("Net"));
    // network descriptors past the body
    EXPECT_EQ(ParseSection<CDVBNITSection>(Nit(B::Cat({Loop(40), network}))), nullptr);
    // a broken network descriptor loop
    EXPECT_EQ(ParseSection<CDVBNITSection>(Nit(NitBody({0x40, 9, 'N'}, {}))), nullptr);
    // no room for the transport stream loop length
    EXPECT_EQ(ParseSection<CDVBNITSection>(Nit(B::Cat({Loop(WORD(network.size())), network}))), nullptr);
    // a loop longer than the body
    EXPECT_EQ(ParseSection<CDVBNITSection>(Nit(B::Cat({Loop(0), Loop(12), Bytes(6, 0)}))), nullptr);
    // a transport stream whose descriptors run past the loop
    Bytes lying = TransportStream(1, 1, kTerrestrial);
    lying[5] = BYTE(lying[5] + 1);
    EXPECT_EQ(ParseSection<CDVBNITSection>(Nit(NitBody({}, lying))), nullptr);
    EXPECT_TRUE(lines.Lines().empty());   // the network information table says nothing

    auto empty = ParseSection<CDVBNITSection>(Nit(NitBody(network, {})));
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->m_entries.empty());
    // a broken descriptor inside a transport stream's loop leaves the stream in place
    auto broken = ParseSection<CDVBNITSection>(Nit(NitBody({}, TransportStream(1, 1, {0x5A, 20, 0, 0}))));
    ASSERT_NE(broken, nullptr);
    EXPECT_EQ(broken->m_entries.size(), 1u);
    // bytes after the loop are ignored
    auto trailing = ParseSection<CDVBNITSection>(Nit(B::Cat({NitBody({}, TransportStream(1, 1, {})), {0xAA, 0xBB}})));
    ASSERT_NE(trailing, nullptr);
    EXPECT_EQ(trailing->m_entries.size(), 1u);
}
