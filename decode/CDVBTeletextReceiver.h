#pragma once
// The PID receiver of a teletext component: it reassembles each PES packet and hands its
// teletext lines, with the packet's presentation time, to a handler on the receive thread.
#include "core/CDVBPIDReceiver.h"
#include "decode/CDVBPESPacketCollector.h"
#include "decode/CDVBTeletextDataUnits.h"

#include <functional>

class CDVBTeletextReceiver : public CDVBPIDReceiver
{
public:
    static constexpr int kBatch = 64;   // lines handed over at a time; a PES packet has fewer
    // `presentationTime` is 90 kHz, -1 for a packet without one.
    using Handler = std::function<void(const CDVBTeletextLine* lines, int count, long long presentationTime)>;

    explicit CDVBTeletextReceiver(Handler handler) : m_handler(std::move(handler)) {}

    void OnReceivePacket(std::uint64_t packetNumber, BYTE* packet) override;
    // PES packets taken that were not EBU teletext data, or whose header was damaged.
    std::uint64_t GetRefused() const { return m_refused; }

private:
    void Deliver();
    void Flush(long long presentationTime);

    Handler m_handler;
    CDVBPESPacketCollector m_pes;
    bool m_delivered = true;   // nothing collected waits
    CDVBTeletextLine m_lines[kBatch];
    int m_count = 0;
    std::uint64_t m_refused = 0;
};
