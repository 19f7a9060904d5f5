// Arbitrary bytes as packets through the single-service recording filter: the PAT, SDT and
// EIT PIDs and the PIDs they name come up often, and every output must fit its buffer.
#include "si/CDVBServiceRecordingFilter.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const WORD kPIDs[] = {0x0000, 0x0011, 0x0012, 0x0100, 0x0101, 0x1000};
    CDVBServiceRecordingFilter filter(0x0001);
    std::vector<BYTE> read;
    while (size > 0) {
        const std::size_t take = size < 185 ? size : 185;
        BYTE packet[188];
        std::memset(packet, 0xFF, sizeof packet);
        packet[0] = 0x47;
        const WORD pid = kPIDs[data[0] % 6];
        packet[1] = BYTE((data[0] & 0x40) | (pid >> 8));
        packet[2] = BYTE(pid);
        packet[3] = BYTE(0x10 | (data[0] >> 4 & 0x0F));
        std::memcpy(packet + 4, data + 1, take - 1);
        read.insert(read.end(), packet, packet + sizeof packet);
        data += take;
        size -= take;
    }
    // a buffer the size of the read, and a small one that rewritten sections overflow
    for (std::size_t capacity : {read.size(), std::size_t(188)}) {
        std::vector<BYTE> out(capacity);
        const DWORD written = filter.Filter(read.data(), DWORD(read.size()), out.data(), DWORD(out.size()));
        if (written > capacity || written % 188 != 0)
            __builtin_trap();
    }
    return 0;
}
