// Arbitrary bytes as the packets of one PID into an SI receiver: every table class is
// reachable through the factory. The first byte of each packet's worth picks the
// packet's flags so that unit starts and pointer fields come up often.
#include "si/CDVBSIHandler.h"
#include "si/CDVBSIReceiver.h"
#include "si/CDVBSISection.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class CCountingHandler : public CDVBSIHandler
{
public:
    void OnSectionAdd(WORD, CDVBSISection* section) override { m_types += unsigned(section->m_type); }
    unsigned m_types = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CCountingHandler handler;
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
    return 0;
}
