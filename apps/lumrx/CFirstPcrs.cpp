#include "CFirstPcrs.h"

#include "core/CDVBPCRReceiver.h"
#include "receiver/CDVBTransportStreamReceiver.h"

namespace {

class CWatcher : public CDVBPIDReceiver
{
public:
    explicit CWatcher(long long& first) : m_first(first) {}
    void OnReceivePacket(std::uint64_t, BYTE* packet) override
    {
        std::uint64_t pcr = 0;
        if (m_first < 0 && CDVBPCRReceiver::GetPCRFromPacket(packet, pcr))
            m_first = static_cast<long long>(pcr);
    }

private:
    long long& m_first;
};

}  // namespace

CFirstPcrs::CFirstPcrs() : m_first(std::make_unique<std::array<long long, 8192>>())
{
    m_first->fill(-1);
}

void CFirstPcrs::Watch(CDVBTransportStreamReceiver& receiver)
{
    for (WORD pid = 0; pid < 0x1FFF; ++pid)
        receiver.AddPIDReceiver(pid, new CWatcher((*m_first)[pid]));
}
