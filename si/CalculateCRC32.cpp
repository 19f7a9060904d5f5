#include "si/CalculateCRC32.h"

#include <array>
#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define LUM_CRC_FOLDING 1
#endif

namespace {

constexpr DWORD kPolynomial = 0x04C11DB7u;

// Slicing by 8: kTables[k][x] is x times z^(32 + 8k) modulo the polynomial, so eight bytes
// fold into the register with eight lookups instead of eight dependent steps. kTables[0]
// is the classic byte table. Built before main() runs, so threads never race to build it.
using Tables = std::array<std::array<DWORD, 256>, 8>;

const Tables kTables = [] {
    Tables tables{};
    for (DWORD i = 0; i < 256; ++i) {
        DWORD value = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
        tables[0][i] = value;
    }
    for (std::size_t k = 1; k < tables.size(); ++k)
        for (DWORD i = 0; i < 256; ++i)
            tables[k][i] = (tables[k - 1][i] << 8) ^ tables[0][tables[k - 1][i] >> 24];
    return tables;
}();

DWORD Slice(DWORD crc, const BYTE* data, std::size_t length)
{
    std::size_t i = 0;
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

#ifdef LUM_CRC_FOLDING

// z^n modulo the polynomial.
std::uint64_t PowerOfZ(int n)
{
    DWORD value = 1;
    for (int i = 0; i < n; ++i)
        value = (value & 0x80000000u) ? (value << 1) ^ kPolynomial : value << 1;
    return value;
}

const bool kCanFold = [] {
    __builtin_cpu_init();   // this may run before the C library has looked at the processor
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}();
const std::uint64_t kFold192 = PowerOfZ(192);
const std::uint64_t kFold128 = PowerOfZ(128);
const std::uint64_t kFold576 = PowerOfZ(576);
const std::uint64_t kFold512 = PowerOfZ(512);

// A z^n + B as A_hi z^(n + 64) + A_lo z^n + B, `constants` holding the remainders of those
// two powers: n is 128 for the next 16 bytes, 512 for the same lane 64 bytes on.
__attribute__((target("pclmul,ssse3"))) inline __m128i FoldInto(__m128i a, __m128i constants, __m128i b)
{
    const __m128i high = _mm_clmulepi64_si128(a, constants, 0x11), low = _mm_clmulepi64_si128(a, constants, 0x00);
    return _mm_xor_si128(_mm_xor_si128(high, low), b);
}

// 16 bytes as a polynomial, the first byte's bits the highest.
__attribute__((target("pclmul,ssse3"))) inline __m128i Load(const BYTE* data, __m128i reverse)
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), reverse);
}

// Carry-less multiplication folds the message into a 128-bit value that leaves the same
// remainder, four 16-byte lanes at a time while 64 bytes remain (the lanes' products do not
// wait on each other), then 16 bytes at a time; the folded value's bytes and the tail then go
// through the table. The register's preset is applied by inverting the first 4 bytes.
__attribute__((target("pclmul,ssse3"))) DWORD Fold(const BYTE* data, std::size_t length)
{
    const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m128i by128 = _mm_set_epi64x(std::int64_t(kFold192), std::int64_t(kFold128));
    const __m128i by512 = _mm_set_epi64x(std::int64_t(kFold576), std::int64_t(kFold512));
    const __m128i preset = _mm_shuffle_epi8(_mm_set_epi32(0, 0, 0, -1), reverse);
    __m128i folded = _mm_xor_si128(Load(data, reverse), preset);
    std::size_t at = 16;
    if (length >= 128) {
        __m128i lanes[4] = {folded, Load(data + 16, reverse), Load(data + 32, reverse), Load(data + 48, reverse)};
        for (at = 64; at + 64 <= length; at += 64)
            for (int lane = 0; lane < 4; ++lane)
                lanes[lane] = FoldInto(lanes[lane], by512, Load(data + at + 16 * std::size_t(lane), reverse));
        folded = lanes[0];
        for (int lane = 1; lane < 4; ++lane)
            folded = FoldInto(folded, by128, lanes[lane]);
    }
    for (; at + 16 <= length; at += 16)
        folded = FoldInto(folded, by128, Load(data + at, reverse));
    alignas(16) BYTE bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_shuffle_epi8(folded, reverse));
    return Slice(Slice(0, bytes, 16), data + at, length - at);
}

#endif

}  // namespace

DWORD CalculateCRC32(const BYTE* data, int length)
{
    if (length <= 0)
        return 0xFFFFFFFFu;
#ifdef LUM_CRC_FOLDING
    if (length >= 64 && kCanFold)
        return Fold(data, std::size_t(length));
#endif
    return Slice(0xFFFFFFFFu, data, std::size_t(length));
}
