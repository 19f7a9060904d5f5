#include "si/CalculateCRC32.h"

#include <array>

namespace {

// Built before main() runs, so threads never race to build it.
const std::array<DWORD, 256> kTable = [] {
    std::array<DWORD, 256> table{};
    for (DWORD i = 0; i < 256; ++i) {
        DWORD value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
        table[i] = value;
    }
    return table;
}();

}  // namespace

DWORD CalculateCRC32(const BYTE* data, int length)
{
    DWORD crc = 0xFFFFFFFFu;
    for (int i = 0; i < length; ++i)
        crc = (crc << 8) ^ kTable[((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}
