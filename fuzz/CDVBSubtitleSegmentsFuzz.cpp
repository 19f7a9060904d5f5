// Arbitrary bytes as the data of a DVB subtitle PES packet: the segments of the pages named
// by the first four bytes (or of any page) selected as a decoder would be given them.
#include "decode/CDVBSubtitleSegments.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const int composition = data[0] << 8 | data[1], ancillary = data[2] << 8 | data[3];
    std::vector<BYTE> out;
    CDVBSubtitleSegments::Selection selection;
    unsigned sum = 0;
    for (const int page : {composition, CDVBSubtitleSegments::kAnyPage}) {
        if (CDVBSubtitleSegments::Select(data + 4, DWORD(size - 4), page, ancillary, out, selection))
            for (const BYTE byte : out)
                sum += byte;
        sum += unsigned(selection.kept + selection.firstPage);
    }
    return int(sum & 0);
}
