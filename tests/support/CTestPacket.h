#pragma once
// Transport packets for tests, each in a vector of exactly 188 bytes so that the
// sanitizer run catches a read one byte past its end.
#include "platform/LUMTypes.h"

#include <cstdint>
#include <vector>

class CTestPacket
{
public:
    // Payload only (adaptation_field_control 01), payload bytes set to `fill`.
    static std::vector<BYTE> Payload(WORD pid, bool unitStart = false, BYTE fill = 0xFF);
    // adaptation_field_control as given, adaptation_field_length at byte 4.
    static std::vector<BYTE> WithAdaptation(WORD pid, BYTE control, BYTE fieldLength);
    // An adaptation field only, carrying a PCR with base `pcr` (90 kHz).
    static std::vector<BYTE> Pcr(WORD pid, std::uint64_t pcr);
    // A packet starting a PES packet whose header is `header` (from the 00 00 01 prefix).
    static std::vector<BYTE> Pes(WORD pid, const std::vector<BYTE>& header);
    // Packets laid end to end, as a source delivers them.
    static std::vector<BYTE> Stream(const std::vector<WORD>& pids);
};
