#include "platform/CCharsetConverter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// More than one pass of the converter holds, appended; a failed Open closes the open table.
TEST(CCharsetConverterTest, AppendsPastItsBufferAndRefusesAfterAFailedOpen)
{
    CCharsetConverter greek;
    ASSERT_TRUE(greek.Open("ISO-8859-7"));
    const std::vector<BYTE> alphas(300, 0xE1);   // exactly the bytes, for the sanitizer run
    std::string out = "x", expected = "x";
    ASSERT_TRUE(greek.AppendUTF8(alphas.data(), alphas.size(), out));
    for (int i = 0; i < 300; ++i)
        expected += "\xCE\xB1";
    EXPECT_EQ(out, expected);
    EXPECT_FALSE(greek.Open("ISO-8859-12")) << "no such part";
    EXPECT_FALSE(greek.AppendUTF8(alphas.data(), alphas.size(), out = ""));
    EXPECT_EQ(out, "");
}
