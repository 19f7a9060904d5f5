#include "platform/CString.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

// Format takes I64 as a 64-bit argument and grows past its first guess; bytes from the stream
// are kept whole and compared unsigned; out-of-range positions and counts are clamped.
TEST(CStringTest, FormatsKeepsEveryByteComparesUnsignedAndCutsWithinBounds)
{
    CString text;
    text.Format("%s%03I64d:%02I64d|%I64u|%d%%", "-", std::int64_t(7), std::int64_t(8589934591LL),
                std::uint64_t(1) << 40, 5);
    EXPECT_EQ(text, "-007:8589934591|1099511627776|5%");
    text.Format("%s|%s", std::string(300, 'a').c_str(), std::string(300, 'b').c_str());
    EXPECT_EQ(text.GetLength(), 601);
    EXPECT_EQ(text.Right(3), "bbb");

    const CString raw("\x05\xE9t\0\x8A", 5);
    ASSERT_EQ(raw.GetLength(), 5);
    EXPECT_EQ(static_cast<unsigned char>(raw.GetAt(4)), 0x8Au);
    EXPECT_GT(CString("\xE9").Compare("z"), 0);
    EXPECT_LT(CString("ab").Compare("abc"), 0);
    EXPECT_EQ(CString("LUMCore.so").CompareNoCase("lumcore.SO"), 0);
    EXPECT_NE(CString("LUMCore.so").Compare("lumcore.so"), 0);

    const CString cut = CString(" \t BBC ONE, 1, 2\r\n").Trim();
    EXPECT_EQ(cut, "BBC ONE, 1, 2");
    EXPECT_EQ(CString("xx,name,,").Trim(",x"), "name");
    EXPECT_EQ(CString("   ").Trim(), "");
    EXPECT_EQ(cut.Left(99), cut);
    EXPECT_EQ(cut.Mid(99), "");
    EXPECT_EQ(cut.Mid(-3, 3), "BBC");
    EXPECT_EQ(cut.Right(-1), "");
}
