// Arbitrary bytes as the packets of a teletext PID: PES packets reassembled and their data
// units read into lines; and the same bytes read as the data of one PES packet.
#include "decode/CDVBTeletextDataUnits.h"
#include "decode/CDVBTeletextReceiver.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    unsigned sum = 0;
    const auto take = [&sum](const CDVBTeletextLine& line) { sum += line.data[41] + unsigned(line.lineOffset); };
    CDVBTeletextDataUnits::Read(data, DWORD(size), take);
    CDVBTeletextReceiver receiver([&sum](const CDVBTeletextLine* lines, int count, long long time) {
        for (int i = 0; i < count; ++i)
            sum += lines[i].data[0];
        sum += unsigned(time);
    });
    BYTE packet[188];
    for (std::size_t at = 0; at < size; at += 188) {
        const std::size_t n = size - at < 188 ? size - at : 188;
        std::memset(packet, 0xFF, sizeof packet);
        std::memcpy(packet, data + at, n);
        packet[0] = 0x47;
        receiver.OnReceivePacket(at / 188, packet);
    }
    return int(sum & 0);
}
