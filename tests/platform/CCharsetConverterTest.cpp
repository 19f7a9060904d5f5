#include "platform/CCharsetConverter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Converts from a copy of exactly the text's bytes, appending to what `out` holds.
bool Convert(CCharsetConverter& converter, const std::string& bytes, std::string& out)
{
    const std::vector<BYTE> exact(bytes.begin(), bytes.end());
    return converter.AppendUTF8(exact.data(), exact.size(), out);
}

}  // namespace

TEST(CCharsetConverterTest, OpensWhatTheSystemConvertsAndRefusesTheRest)
{
    CCharsetConverter converter;
    ASSERT_TRUE(converter.Open("ISO-8859-9"));
    std::string out = "x";
    ASSERT_TRUE(Convert(converter, "Kad\xFDk\xF6y", out));
    EXPECT_EQ(out, "xKad\xC4\xB1k\xC3\xB6y");   // "Kadıköy", appended

    EXPECT_FALSE(converter.Open("ISO-8859-12"));   // no such part: the converter is closed
    EXPECT_FALSE(converter.IsOpen());
    out.clear();
    EXPECT_FALSE(Convert(converter, "A", out));
    EXPECT_EQ(out, "");
}

// More output than one pass of the converter holds, then a byte the table leaves empty.
TEST(CCharsetConverterTest, ConvertsPastItsBufferAndMarksWhatItCannot)
{
    CCharsetConverter greek;
    ASSERT_TRUE(greek.Open("ISO-8859-7"));
    std::string out;
    ASSERT_TRUE(Convert(greek, std::string(300, '\xE1') + "\xAE" "B", out));
    std::string expected;
    for (int i = 0; i < 300; ++i)
        expected += "\xCE\xB1";   // alpha
    EXPECT_EQ(out, expected + "\xEF\xBF\xBD" "B");   // U+FFFD, then on
}
