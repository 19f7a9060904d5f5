#pragma once
// A receiver without its thread: a test feeds it sections and drives its timers as the receive
// thread would. Start() registers the SI receivers.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "tests/support/CTestSectionBuilder.h"

struct CFedReceiver : CDVBTransportStreamReceiver
{
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::CalculateBitrate;
    using CDVBTransportStreamReceiver::OnEverySecond;
    using CDVBTransportStreamReceiver::ProcessBuffer;
    void Send(WORD pid, const Bytes& section)   // each PID's continuity_counter runs on
    {
        for (Bytes packet : CTestSectionBuilder::Packetise(pid, section, m_continuity[pid]))
            ProcessBuffer(packet.data(), DWORD(packet.size()));
    }
    BYTE m_continuity[8192] = {};
};
