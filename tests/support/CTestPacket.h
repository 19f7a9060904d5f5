#pragma once
// Transport packets for tests, each in a vector of exactly 188 bytes so that the
// sanitizer run catches a read one byte past its end.
#include "platform/LUMTypes.h"

#include <algorithm>
#include <cstdint>
#include <vector>

struct CTestPacket
{
    // Payload only (adaptation_field_control 01), payload bytes set to `fill`.
    static std::vector<BYTE> Payload(WORD pid, bool unitStart = false, BYTE fill = 0xFF)
    {
        std::vector<BYTE> packet(188, fill);
        packet[0] = 0x47;
        packet[1] = BYTE((unitStart ? 0x40 : 0) | ((pid >> 8) & 0x1F));
        packet[2] = BYTE(pid);
        packet[3] = 0x10;
        return packet;
    }
    // adaptation_field_control as given, adaptation_field_length at byte 4.
    static std::vector<BYTE> WithAdaptation(WORD pid, BYTE control, BYTE fieldLength)
    {
        std::vector<BYTE> packet = Payload(pid);
        packet[3] = BYTE((control & 3) << 4);
        packet[4] = fieldLength;
        return packet;
    }
    // An adaptation field only, carrying a PCR with base `pcr` (90 kHz).
    static std::vector<BYTE> Pcr(WORD pid, std::uint64_t pcr)
    {
        std::vector<BYTE> packet = WithAdaptation(pid, 2, 183);
        const BYTE field[] = {0x10, BYTE(pcr >> 25), BYTE(pcr >> 17), BYTE(pcr >> 9), BYTE(pcr >> 1),
                              BYTE(((pcr & 1) << 7) | 0x7E), 0};
        std::copy(field, field + sizeof field, packet.begin() + 5);
        return packet;
    }
    // A packet starting a PES packet whose header is `header` (from the 00 00 01 prefix).
    static std::vector<BYTE> Pes(WORD pid, const std::vector<BYTE>& header)
    {
        std::vector<BYTE> packet = Payload(pid, true, 0xAB);
        std::copy_n(header.begin(), std::min<std::size_t>(header.size(), 184), packet.begin() + 4);
        return packet;
    }
    // Packets laid end to end, as a source delivers them.
    static std::vector<BYTE> Stream(const std::vector<WORD>& pids)
    {
        std::vector<BYTE> stream;
        for (WORD pid : pids)
            for (BYTE byte : Payload(pid))
                stream.push_back(byte);
        return stream;
    }
};
