#pragma once
// Transport packets that carry their own number, so that a test can tell which packets
// came out of a framer or a source, in which order, and that none was cut. No byte after
// the sync byte is 0x47, so a false sync byte never comes from the test's own packets.
#include "platform/LUMTypes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

struct CNumberedPackets
{
    // Packet `number` (below 2^18), its number in three bytes of six bits each from 0x80 up.
    static std::vector<BYTE> Packet(int number)
    {
        std::vector<BYTE> packet(188, 0xFF);
        packet[0] = 0x47;
        packet[1] = 0x01;   // PID 0x0100
        packet[2] = 0x00;
        packet[3] = BYTE(0x10 | (number & 0x0F));
        for (int digit = 0; digit < 3; ++digit)
            packet[184 + std::size_t(digit)] = BYTE(0x80 | ((number >> (6 * digit)) & 0x3F));
        return packet;
    }
    // Packets `first` to `first + count - 1`; with `packetSize` 192 each after a 4-byte time
    // code, as in an M2TS file.
    static std::vector<BYTE> Stream(int first, int count, std::size_t packetSize = 188)
    {
        std::vector<BYTE> stream;
        for (int number = first; number < first + count; ++number) {
            for (std::size_t i = 188; i < packetSize; ++i)
                stream.push_back(BYTE(0x10 + i));
            const std::vector<BYTE> packet = Packet(number);
            stream.insert(stream.end(), packet.begin(), packet.end());
        }
        return stream;
    }
    // The numbers of the 188-byte packets in `bytes`; -1 for a packet that is not one of these
    // whole (a PCR's adaptation field aside), or a part left over.
    static std::vector<int> Numbers(const std::vector<BYTE>& bytes)
    {
        std::vector<int> numbers;
        for (std::size_t at = 0; at + 188 <= bytes.size(); at += 188) {
            const BYTE* packet = &bytes[at];
            const int number = (packet[184] & 0x3F) | (packet[185] & 0x3F) << 6 | (packet[186] & 0x3F) << 12;
            const std::vector<BYTE> expected = Packet(number);
            const std::size_t from = std::min<std::size_t>(188, (packet[3] & 0x20) ? 5 + std::size_t(packet[4]) : 4);
            const bool same = std::equal(packet, packet + 3, expected.begin()) &&
                              std::equal(expected.begin() + std::ptrdiff_t(from), expected.end(), packet + from);
            numbers.push_back(same ? number : -1);
        }
        if (bytes.size() % 188 != 0)
            numbers.push_back(-1);
        return numbers;
    }
    // 0 to count - 1 but the lost: the numbers a reading should give.
    static std::vector<int> Range(int count, const std::vector<int>& lost = {})
    {
        std::vector<int> numbers;
        for (int n = 0; n < count; ++n)
            if (std::find(lost.begin(), lost.end(), n) == lost.end())
                numbers.push_back(n);
        return numbers;
    }
    // Packet `number` with a PCR of `pcrBase` (90 kHz units) in its adaptation field.
    static std::vector<BYTE> WithPcr(int number, std::uint64_t pcrBase)
    {
        std::vector<BYTE> packet = Packet(number);
        packet[3] = BYTE(0x30 | (number & 0x0F));
        packet[4] = 7;      // flags and the 6-byte PCR
        packet[5] = 0x10;   // PCR_flag
        for (int i = 0; i < 4; ++i)
            packet[6 + i] = BYTE(pcrBase >> (25 - 8 * i));
        packet[10] = BYTE(((pcrBase & 1) << 7) | 0x7E);
        packet[11] = 0;
        return packet;
    }
};
