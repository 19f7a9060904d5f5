#include "decode/CDVBTeletextDataUnits.h"

namespace {

constexpr BYTE kNonSubtitle = 0x02;
constexpr BYTE kSubtitle = 0x03;
constexpr BYTE kLineLength = 0x2C;   // field and line, framing code, 42 bytes
constexpr BYTE kFramingCode = 0xE4;

// a PES packet carries each byte with the first bit sent in bit 7
BYTE Reversed(BYTE b)
{
    b = BYTE((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = BYTE((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return BYTE((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

}  // namespace

bool CDVBTeletextDataUnits::Read(const BYTE* data, DWORD size, const std::function<void(const CDVBTeletextLine&)>& line)
{
    if (data == nullptr || size < 1 || data[0] < 0x10 || data[0] > 0x1F)
        return false;   // data identifiers of EBU data
    for (DWORD at = 1; at + 2 <= size;) {
        const BYTE id = data[at], length = data[at + 1];
        const DWORD unit = at + 2;
        if (unit + length > size)
            break;   // truncated: nothing past it is trusted
        if ((id == kNonSubtitle || id == kSubtitle) && length == kLineLength && data[unit + 1] == kFramingCode) {
            CDVBTeletextLine out;
            out.subtitle = id == kSubtitle;
            out.secondField = !(data[unit] & 0x20);
            out.lineOffset = data[unit] & 0x1F;
            for (int i = 0; i < 42; ++i)
                out.data[i] = Reversed(data[unit + 2 + i]);
            line(out);
        }
        at = unit + length;
    }
    return true;
}
