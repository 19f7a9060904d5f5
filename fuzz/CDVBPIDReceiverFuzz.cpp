// Arbitrary bytes as a stream of packets: dispatched by the receiver to PID receivers
// that take every packet apart with the static packet operations, and collect PES packets
// whole and through a pull receiver's ring.
#include "core/CDVBPIDReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"
#include "core/CDVBTransportStreamSource.h"
#include "decode/CDVBPESPacketCollector.h"
#include "decode/CDVBPullReceiver.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

class CDissectingReceiver : public CDVBPIDReceiver
{
public:
    void OnReceivePacket(std::uint64_t, BYTE* packet) override
    {
        BYTE* p = nullptr;
        DWORD n = 0;
        BYTE fieldLength = 0;
        std::int64_t pts = 0, dts = 0;
        if (GetPacketPayload(packet, p, n))
            m_sum += p[n - 1];
        if (GetPacketAdaptationField(packet, p, fieldLength))
            m_sum += p[fieldLength];
        if (GetPESInternalData(packet, p, n) && n > 0)
            m_sum += p[n - 1];
        if (GetTimeStampsFromPacket(packet, pts, dts))
            m_sum += BYTE(pts ^ dts);
        m_collector.AddPacket(packet);
        if (m_collector.IsComplete() && m_collector.GetInternalData(p, n) && n > 0)
            m_sum += p[n - 1];
    }
    unsigned m_sum = 0;
    CDVBPESPacketCollector m_collector;
};

// A ring small enough to fill, drained by a decode thread as a decoder would.
class CDrainingPullReceiver : public CDVBPullReceiver
{
public:
    CDrainingPullReceiver() : CDVBPullReceiver(4, 1000) {}
    ~CDrainingPullReceiver() override { StopAndWait(); }

protected:
    void DecodeStream() override
    {
        BYTE chunk[700];
        while (ReadCompressedData(chunk, sizeof chunk) > 0 || !m_stopEvent.IsSet()) {
        }
    }
};

class CFuzzReceiver : public CDVBTransportStreamReceiver
{
public:
    using CDVBTransportStreamReceiver::CDVBTransportStreamReceiver;
    using CDVBTransportStreamReceiver::ProcessBuffer;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CDVBTransportStreamSource source;
    static CFuzzReceiver* receiver = [] {
        auto* r = new CFuzzReceiver(&source, nullptr);
        for (WORD pid = 0; pid < CDVBTransportStreamReceiver::PIDCount; ++pid)
            r->AddPIDReceiver(pid, new CDissectingReceiver);
        for (WORD pid : {0x0100, 0x0101})
            r->AddPIDReceiver(pid, new CDrainingPullReceiver);
        return r;
    }();
    // Exactly the fuzzer's bytes, so a read one past the end is caught.
    std::vector<BYTE> buffer(data, data + size);
    receiver->ProcessBuffer(buffer.data(), DWORD(buffer.size()));
    return 0;
}
