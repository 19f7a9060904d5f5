#pragma once
// A receiver that learns what a scan names a multiplex after: the network's name from
// the NIT of the actual network and the transport_stream_id from the SDT of the actual
// stream.
#include "receiver/CDVBTransportStreamReceiver.h"
#include "platform/CEvent.h"
#include "si/CDVBTableListener.h"

#include <mutex>
#include <string>

class CLinuxDVBScanReceiver : public CDVBTransportStreamReceiver, private CDVBTableListener
{
public:
    explicit CLinuxDVBScanReceiver(CDVBTransportStreamSource* source) : CDVBTransportStreamReceiver(source, nullptr)
    {
        AddTableListener(this);
    }

    // Waits until both tables came or `timeoutMs` passed; true when both came.
    bool WaitForNames(DWORD timeoutMs);
    // "Network 4100" with what came: the network name (or "Network <id>" from the SDT's
    // original_network_id) and the transport_stream_id; empty when no SDT came.
    std::string GetName();

private:
    void OnReceiveNIT(WORD pid, CDVBNITSection* section) override;
    void OnReceiveSDT(WORD pid, CDVBSDTSection* section) override;

    std::mutex m_lock;
    bool m_hasNetworkName = false;
    bool m_hasStream = false;
    std::string m_networkName;
    WORD m_originalNetworkId = 0;
    WORD m_transportStreamId = 0;
    CEvent m_changed{false, false};
};
