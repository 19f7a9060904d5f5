// Arbitrary bytes, fed in arbitrary pieces and datagrams, into the input's packet framer:
// whatever comes in, only whole packets that start with the sync byte come out.
#include "modules/inputs/common/CTransportPacketFramer.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t offset = 0;
    const std::size_t detected = CTransportPacketFramer::DetectPacketSize(data, size, offset);
    CTransportPacketFramer framer(detected ? detected : 188);
    std::vector<BYTE> packets;
    std::size_t at = 0;
    while (at < size) {
        const std::size_t piece = std::min<std::size_t>(size - at, 1 + data[at] % 200);
        std::vector<BYTE> exact(data + at, data + at + piece);
        if (data[at] & 0x80)   // as a datagram: its end may confirm a packet
            framer.FeedDatagram(exact.data(), exact.size());
        else
            framer.Feed(exact.data(), exact.size());
        at += piece;
    }
    framer.TakePackets(packets);
    if (packets.size() % 188 != 0)
        std::abort();
    for (std::size_t i = 0; i < packets.size(); i += 188)
        if (packets[i] != 0x47)
            std::abort();
    return 0;
}
