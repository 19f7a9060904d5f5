#include "tests/inputs/CNumberedPackets.h"

#include <algorithm>

namespace {

// The number spreads over three bytes of six bits each, from 0x80 up: never 0x47.
constexpr std::size_t kNumberAt = 184;
constexpr BYTE kFill = 0xFF;

// The number a packet carries; -1 when it is not one of these packets whole. A shifted or
// spliced packet shows as a byte out of place; a PCR's adaptation field is not compared.
int NumberOf(const BYTE* packet)
{
    int number = 0;
    for (int digit = 0; digit < 3; ++digit)
        number |= (packet[kNumberAt + std::size_t(digit)] & 0x3F) << (6 * digit);
    const std::vector<BYTE> expected = CNumberedPackets::Packet(number);
    const std::size_t payload = std::min<std::size_t>(188, (packet[3] & 0x20) ? 5 + std::size_t(packet[4]) : 4);
    const bool same = std::equal(packet, packet + 3, expected.begin()) &&
                      std::equal(expected.begin() + std::ptrdiff_t(payload), expected.end(), packet + payload);
    return same ? number : -1;
}

}  // namespace

std::vector<BYTE> CNumberedPackets::Packet(int number)
{
    std::vector<BYTE> packet(188, kFill);
    packet[0] = 0x47;
    packet[1] = BYTE(Pid >> 8);
    packet[2] = BYTE(Pid);
    packet[3] = BYTE(0x10 | (number & 0x0F));
    for (int digit = 0; digit < 3; ++digit)
        packet[kNumberAt + std::size_t(digit)] = BYTE(0x80 | ((number >> (6 * digit)) & 0x3F));
    return packet;
}

std::vector<BYTE> CNumberedPackets::Stream(int first, int count, std::size_t packetSize)
{
    std::vector<BYTE> stream;
    for (int number = first; number < first + count; ++number) {
        for (std::size_t i = 188; i < packetSize; ++i)
            stream.push_back(BYTE(0x10 + i));   // time code bytes
        const std::vector<BYTE> packet = Packet(number);
        stream.insert(stream.end(), packet.begin(), packet.end());
    }
    return stream;
}

std::vector<int> CNumberedPackets::Numbers(const std::vector<BYTE>& bytes)
{
    std::vector<int> numbers;
    for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188)
        numbers.push_back(NumberOf(&bytes[at]));
    if (bytes.size() % 188 != 0)
        numbers.push_back(-1);
    return numbers;
}

std::vector<BYTE> CNumberedPackets::WithPcr(int number, std::uint64_t pcrBase)
{
    std::vector<BYTE> packet = Packet(number);
    packet[3] = BYTE(0x30 | (number & 0x0F));   // adaptation field and payload
    packet[4] = 7;                               // flags and the 6-byte PCR
    packet[5] = 0x10;                            // PCR_flag
    for (int i = 0; i < 4; ++i)
        packet[6 + i] = BYTE(pcrBase >> (25 - 8 * i));
    packet[10] = BYTE(((pcrBase & 1) << 7) | 0x7E);   // reserved bits, extension 0
    packet[11] = 0;
    return packet;
}
