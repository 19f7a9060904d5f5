#pragma once
// A PID receiver that reassembles each PES packet of its PID and hands the elementary
// stream bytes, with the packet's presentation time, to OnPESPacket on the receive thread:
// the base of the receivers of the components carried a PES packet per unit (teletext,
// subtitles).
#include "core/CDVBPIDReceiver.h"
#include "decode/CDVBPESPacketCollector.h"

#include <atomic>

class CDVBPESReceiver : public CDVBPIDReceiver
{
public:
    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;
    // PES packets whose header was damaged, or whose data the receiver could not read (any thread).
    std::uint64_t GetRefused() const { return m_refused; }

protected:
    // `data` is past the PES header and within the packet's length; `presentationTime` is
    // 90 kHz, -1 for a packet without one. False counts the packet as refused.
    virtual bool OnPESPacket(const BYTE* data, DWORD size, long long presentationTime) = 0;

private:
    void Deliver();

    CDVBPESPacketCollector m_pes;
    bool m_delivered = true;   // nothing collected waits
    std::atomic<std::uint64_t> m_refused{0};
};
