// Arbitrary bytes as packets for the stream analyser, in two reads; with the first byte odd,
// every packet gets its sync byte, so that the rest of the packet is what is explored.
#include "si/CDVBStreamAnalyser.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    std::vector<BYTE> packets(data + 1, data + size);
    if (data[0] & 1)
        for (std::size_t at = 0; at < packets.size(); at += 188)
            packets[at] = 0x47;
    CDVBStreamAnalyser analyser;
    const DWORD half = DWORD(packets.size() / 2 / 188 * 188);
    analyser.AnalysePackets(packets.data(), half);
    analyser.AnalysePackets(packets.data() + half, DWORD(packets.size() - half));
    const CDVBStreamAnalysis analysis = analyser.GetAnalysis();
    return int((analysis.packets + analysis.pids.size() + analysis.tables.size()) & 0);
}
