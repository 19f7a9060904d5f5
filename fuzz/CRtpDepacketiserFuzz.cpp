// Arbitrary bytes cut into datagrams (each led by a length byte) into the RTP
// depacketiser: payloads come out of the datagrams given, never more bytes than came in.
#include "modules/inputs/net/CRtpDepacketiser.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::size_t delivered = 0;
    std::size_t given = 0;
    CRtpDepacketiser rtp([&](const BYTE*, std::size_t length) { delivered += length; });
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = std::min<std::size_t>(size - at - 1, data[at]);
        std::vector<BYTE> datagram(data + at + 1, data + at + 1 + length);   // exact: reads past it are caught
        rtp.Push(datagram.data(), datagram.size());
        given += length;
        at += 1 + length;
    }
    if (delivered > given)
        std::abort();
    return 0;
}
