// The committed teletext stream's pages through libzvbi as the hosts draw and follow them:
// page 100's two subpages and its coloured links, a subtitle page drawn with only its boxes
// opaque.
#include "apps/common/CTeletextPages.h"
#include "decode/CDVBTeletextReceiver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace {

// The stream's first `packets` packets.
void Feed(CTeletextPages& pages, const char* path, std::size_t packets)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<BYTE> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CDVBTeletextReceiver receiver([&](const CDVBTeletextLine* lines, int count, long long time) {
        pages.Advance(time);
        pages.Decode(lines, count);
    });
    for (std::size_t at = 0; at + 188 <= stream.size() && at < packets * 188; at += 188)
        if (((stream[at + 1] & 0x1F) << 8 | stream[at + 2]) == 0x200)
            receiver.OnReceivePacket(at / 188, &stream[at]);
}

}  // namespace

TEST(CTeletextPagesTest, SubpagesLinksAndDrawnPages)
{
    CTeletextPages pages;
    // five packets a frame: to frame 35, when page 888 shows its first subtitle
    Feed(pages, LUM_SOURCE_DIR "/tests/streams/teletext/teletext.ts", 35 * 5);
    EXPECT_EQ(pages.GetSubpages(100), (std::vector<int>{1, 2}));
    int links[4];
    ASSERT_TRUE(pages.GetLinks(100, links));
    EXPECT_EQ(std::vector<int>(links, links + 4), (std::vector<int>{888, 889, 890, 777}));
    std::vector<std::uint8_t> rgba;
    int width = 0, height = 0;
    ASSERT_TRUE(pages.DrawPage(100, 2, false, rgba, width, height));
    EXPECT_EQ(width % 12, 0);   // libzvbi's 12 x 10 characters, 25 rows
    EXPECT_GE(width, 480);
    EXPECT_EQ(height, 250);
    // a subtitle page: see-through but for its boxed rows, at the foot of the page
    ASSERT_TRUE(pages.DrawPage(888, 0, true, rgba, width, height));
    int firstOpaqueRow = height;
    for (int y = 0; y < height && firstOpaqueRow == height; ++y)
        for (int x = 0; x < width; ++x)
            if (rgba[(std::size_t(y) * width + x) * 4 + 3])
                firstOpaqueRow = y;
    EXPECT_GE(firstOpaqueRow, 20 * 10);
    EXPECT_LT(firstOpaqueRow, height);
    EXPECT_FALSE(pages.DrawPage(123, 0, false, rgba, width, height));
}
