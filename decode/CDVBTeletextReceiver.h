#pragma once
// The PID receiver of a teletext component: it hands each PES packet's teletext lines, with
// the packet's presentation time, to a handler on the receive thread.
#include "decode/CDVBPESReceiver.h"
#include "decode/CDVBTeletextDataUnits.h"

#include <functional>

class CDVBTeletextReceiver : public CDVBPESReceiver
{
public:
    static constexpr int kBatch = 64;   // lines handed over at a time; a PES packet has fewer
    // `presentationTime` is 90 kHz, -1 for a packet without one.
    using Handler = std::function<void(const CDVBTeletextLine* lines, int count, long long presentationTime)>;

    explicit CDVBTeletextReceiver(Handler handler) : m_handler(std::move(handler)) {}

protected:
    // Not EBU teletext data is refused.
    bool OnPESPacket(const BYTE* data, DWORD size, long long presentationTime) override;

private:
    void Flush(long long presentationTime);

    Handler m_handler;
    CDVBTeletextLine m_lines[kBatch];
    int m_count = 0;
};
