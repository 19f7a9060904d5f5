// Arbitrary bytes as the packets of one PID into an SI receiver: every table class is
// reachable through the factory, and every section goes on to the guide store and the SI
// collector. The first byte of each packet's worth picks the
// packet's flags so that unit starts and pointer fields come up often.
#include "model/CDVBGuideStore.h"
#include "model/CDVBSICollector.h"
#include "si/CDVBEITSection.h"
#include "si/CDVBNITSection.h"
#include "si/CDVBPATSection.h"
#include "si/CDVBPMTSection.h"
#include "si/CDVBSDTSection.h"
#include "si/CDVBSIHandler.h"
#include "si/CDVBSIReceiver.h"
#include "si/CDVBSISection.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class CModelHandler : public CDVBSIHandler
{
public:
    void OnSectionAdd(WORD pid, CDVBSISection* section) override
    {
        switch (section->m_type) {
        case CDVBSISection::TypeEIT:
            m_guide.OnReceiveEIT(static_cast<CDVBEITSection*>(section));
            m_collector.OnReceiveEIT(pid, static_cast<CDVBEITSection*>(section));
            break;
        case CDVBSISection::TypeSDT:
            m_guide.OnReceiveSDT(static_cast<CDVBSDTSection*>(section));
            m_collector.OnReceiveSDT(pid, static_cast<CDVBSDTSection*>(section));
            break;
        case CDVBSISection::TypePAT:
            m_collector.OnReceivePAT(pid, static_cast<CDVBPATSection*>(section));
            break;
        case CDVBSISection::TypePMT:
            m_collector.OnReceivePMT(pid, static_cast<CDVBPMTSection*>(section));
            break;
        case CDVBSISection::TypeNIT:
            m_collector.OnReceiveNIT(pid, static_cast<CDVBNITSection*>(section));
            break;
        default:
            break;
        }
    }
    CDVBGuideStore m_guide;
    CDVBSICollector m_collector;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CModelHandler handler;
    CDVBSIReceiver receiver(&handler);
    receiver.SetPID(0x12);
    std::vector<BYTE> packet(188);
    while (size > 0) {
        const std::size_t take = size < 185 ? size : 185;
        std::memset(packet.data(), 0xFF, packet.size());
        packet[0] = 0x47;
        packet[1] = BYTE((data[0] & 0x40) | 0x00);
        packet[2] = 0x12;
        packet[3] = BYTE(data[0] & 0x30 ? data[0] & 0x3F : 0x10);   // adaptation_field_control never 00 alone
        std::memcpy(packet.data() + 4, data + 1, take - 1);
        receiver.OnReceivePacket(0, packet.data());
        data += take;
        size -= take;
    }
    receiver.OnEverySecond();
    handler.m_guide.GetEvents();
    handler.m_guide.IsScheduleComplete();
    return 0;
}
