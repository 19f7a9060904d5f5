#include "tests/support/CTestPacket.h"

#include <algorithm>
#include <iterator>

std::vector<BYTE> CTestPacket::Payload(WORD pid, bool unitStart, BYTE fill)
{
    std::vector<BYTE> packet(188, fill);
    packet[0] = 0x47;
    packet[1] = BYTE((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1F));
    packet[2] = BYTE(pid);
    packet[3] = 0x10;
    return packet;
}

std::vector<BYTE> CTestPacket::WithAdaptation(WORD pid, BYTE control, BYTE fieldLength)
{
    std::vector<BYTE> packet = Payload(pid);
    packet[3] = BYTE((control & 3) << 4);
    packet[4] = fieldLength;
    return packet;
}

std::vector<BYTE> CTestPacket::Pcr(WORD pid, std::uint64_t pcr)
{
    std::vector<BYTE> packet = WithAdaptation(pid, 2, 183);
    const BYTE field[] = {0x10, BYTE(pcr >> 25), BYTE(pcr >> 17), BYTE(pcr >> 9), BYTE(pcr >> 1),
                          BYTE(((pcr & 1) << 7) | 0x7E), 0};
    std::copy(std::begin(field), std::end(field), packet.begin() + 5);
    return packet;
}

std::vector<BYTE> CTestPacket::Pes(WORD pid, const std::vector<BYTE>& header)
{
    std::vector<BYTE> packet = Payload(pid, true, 0xAB);
    std::copy_n(header.begin(), std::min<std::size_t>(header.size(), 184), packet.begin() + 4);
    return packet;
}

std::vector<BYTE> CTestPacket::Stream(const std::vector<WORD>& pids)
{
    std::vector<BYTE> stream;
    stream.reserve(pids.size() * 188);
    for (WORD pid : pids) {
        const std::vector<BYTE> packet = Payload(pid);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    return stream;
}
