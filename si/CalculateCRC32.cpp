#include "si/CalculateCRC32.h"

#include <array>

namespace {

// Slicing by 8: kTables[k][x] is x times z^(32 + 8k) modulo the polynomial, so eight bytes
// fold into the register with eight lookups instead of eight dependent steps. kTables[0]
// is the classic byte table. Built before main() runs, so threads never race to build it.
using Tables = std::array<std::array<DWORD, 256>, 8>;

const Tables kTables = [] {
    Tables tables{};
    for (DWORD i = 0; i < 256; ++i) {
        DWORD value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ 0x04C11DB7u : value << 1;
        tables[0][i] = value;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (DWORD i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] << 8) ^ tables[0][tables[k - 1][i] >> 24];
    return tables;
}();

}  // namespace

DWORD CalculateCRC32(const BYTE* data, int length)
{
    DWORD crc = 0xFFFFFFFFu;
    int i = 0;
    for (; i + 8 <= length; i += 8) {
        const BYTE* p = data + i;
        crc ^= (DWORD(p[0]) << 24) | (DWORD(p[1]) << 16) | (DWORD(p[2]) << 8) | p[3];
        crc = kTables[7][crc >> 24] ^ kTables[6][(crc >> 16) & 0xFF] ^ kTables[5][(crc >> 8) & 0xFF] ^
              kTables[4][crc & 0xFF] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
    }
    for (; i < length; ++i)
        crc = (crc << 8) ^ kTables[0][((crc >> 24) ^ data[i]) & 0xFF];
    return crc;
}
