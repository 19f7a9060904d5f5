#pragma once
// Transport packets that carry their own number, so that a test can tell which packets
// came out of a framer or a source, in which order, and that none was cut. No byte after
// the sync byte is 0x47, so a false sync byte never comes from the test's own packets.
#include "platform/LUMTypes.h"

#include <cstdint>
#include <vector>

class CNumberedPackets
{
public:
    static constexpr WORD Pid = 0x0100;

    // Packet `number` (below 2^18), in a vector of exactly 188 bytes.
    static std::vector<BYTE> Packet(int number);
    // Packets `first` to `first + count - 1` end to end; with `packetSize` 192 each comes
    // after a 4-byte time code, as in an M2TS file.
    static std::vector<BYTE> Stream(int first, int count, std::size_t packetSize = 188);
    // The numbers of the 188-byte packets in `bytes`, in order; -1 for any packet that is not
    // one of these whole, or a part left over.
    static std::vector<int> Numbers(const std::vector<BYTE>& bytes);
    // Packet `number` with a PCR of `pcrBase` (90 kHz units) in its adaptation field.
    static std::vector<BYTE> WithPcr(int number, std::uint64_t pcrBase);
};
