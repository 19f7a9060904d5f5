#include "si/CalculateCRC32.h"

#include "tests/support/CTestSectionBuilder.h"

#include <gtest/gtest.h>

// A wrong polynomial or an unread byte fails the catalogued CRC-32/MPEG-2 check value.
TEST(CalculateCRC32Test, MatchesTheCheckValueAndABitwiseRegisterAtEveryLength)
{
    const BYTE check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(CalculateCRC32(check, 9), 0x0376E6E7u);
    EXPECT_EQ(CalculateCRC32(nullptr, 0), 0xFFFFFFFFu);
    // every length through the table and through the folding path (64 bytes on), against
    // the register shifted a bit at a time
    Bytes data(4200);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = BYTE(i * 2654435761u >> 13);
    for (int length = 0; length <= int(data.size()); length += length < 300 ? 1 : 97) {
        DWORD expected = 0xFFFFFFFFu;
        for (int i = 0; i < length; ++i) {
            expected ^= DWORD(data[std::size_t(i)]) << 24;
            for (int bit = 0; bit < 8; ++bit)
                expected = (expected & 0x80000000u) ? (expected << 1) ^ 0x04C11DB7u : expected << 1;
        }
        ASSERT_EQ(CalculateCRC32(data.data(), length), expected) << length;
    }
}
