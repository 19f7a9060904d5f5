#include "platform/CCharsetConverter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// From a copy of exactly the text's bytes, so the sanitizer run sees a read past them.
bool Convert(CCharsetConverter& converter, const std::string& bytes, std::string& out)
{
    const std::vector<BYTE> exact(bytes.begin(), bytes.end());
    return converter.AppendUTF8(exact.data(), exact.size(), out);
}

}  // namespace

TEST(CCharsetConverterTest, AppendsWhatTheSystemConvertsAndRefusesAfterAFailedOpen)
{
    CCharsetConverter converter;
    ASSERT_TRUE(converter.Open("ISO-8859-9"));
    std::string out = "x";
    ASSERT_TRUE(Convert(converter, "Kad\xFDk\xF6y", out));
    EXPECT_EQ(out, "xKad\xC4\xB1k\xC3\xB6y");   // "Kadıköy", appended

    EXPECT_FALSE(converter.Open("ISO-8859-12"));   // no such part: the old table is closed too
    out.clear();
    EXPECT_FALSE(Convert(converter, "A", out));
    EXPECT_EQ(out, "");
}

// More output than one pass of the converter holds, then a byte the table leaves empty.
TEST(CCharsetConverterTest, ConvertsPastItsBufferAndMarksWhatItCannot)
{
    CCharsetConverter greek;
    ASSERT_TRUE(greek.Open("ISO-8859-7"));
    std::string out, alphas;
    ASSERT_TRUE(Convert(greek, std::string(300, '\xE1') + "\xAE" "B", out));
    for (int i = 0; i < 300; ++i)
        alphas += "\xCE\xB1";
    EXPECT_EQ(out, alphas + "\xEF\xBF\xBD" "B");   // U+FFFD, then on
}
