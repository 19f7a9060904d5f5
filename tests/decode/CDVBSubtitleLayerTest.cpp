// What a subtitle layer shows with which picture: each cue from its start to its end or the
// next, a clear ending it, the stream going back; and a cue drawn scaled into a picture.
#include "decode/CDVBSubtitleLayer.h"
#include "decode/CDVBSubtitleSegments.h"

#include <gtest/gtest.h>

namespace {

CDVBSubtitleCue Cue(long long start, long long end, int x = 0, int y = 0, int width = 2, int height = 2)
{
    CDVBSubtitleCue cue;
    cue.start = start;
    cue.end = end;
    cue.frameWidth = 4;
    cue.frameHeight = 4;
    cue.x = x;
    cue.y = y;
    cue.width = width;
    cue.height = height;
    cue.rgba.assign(std::size_t(width) * height * 4, 255);   // opaque white
    return cue;
}

TEST(CDVBSubtitleLayerTest, EachCueFromItsStartToItsEndOrTheNext)
{
    CDVBSubtitleLayer layer;
    layer.Show(Cue(1000, -1));
    layer.Show(Cue(2000, 2500));
    layer.Show(Cue(3000, -1, 0, 0, 0, 0));   // clears
    layer.Show(Cue(4000, -1));
    EXPECT_EQ(layer.GetShown(999), nullptr);
    EXPECT_EQ(layer.GetShown(1000)->start, 1000);
    EXPECT_EQ(layer.GetShown(1999)->start, 1000);
    EXPECT_EQ(layer.GetShown(2400)->start, 2000);
    EXPECT_EQ(layer.GetShown(2500), nullptr);   // its time-out
    EXPECT_EQ(layer.GetShown(3500), nullptr);
    EXPECT_EQ(layer.GetShown(4000)->start, 4000);
    // a stream that starts again: what waited for the old times goes, the new ones show
    layer.Show(Cue(100, -1));
    EXPECT_EQ(layer.GetShown(150)->start, 100);
    EXPECT_EQ(layer.GetReceived(), 5u);
    // pictures that went back a minute and more: what waits is not for them
    CDVBSubtitleLayer ahead;
    ahead.Show(Cue(61LL * 90000, -1));
    EXPECT_EQ(ahead.GetShown(200), nullptr);
    ahead.Show(Cue(300, -1));
    EXPECT_EQ(ahead.GetShown(300)->start, 300);
}

// A 2x2 cue at (2, 2) of a 4x4 frame covers the lower right quarter of any picture.
TEST(CDVBSubtitleLayerTest, DrawnScaledIntoThePictureWhereItWasComposed)
{
    std::vector<unsigned char> rgb(8 * 6 * 3, 0);
    CDVBSubtitleCue cue = Cue(0, -1, 2, 2);
    cue.rgba[3] = 0;   // its first pixel see-through
    CDVBSubtitleLayer::Draw(cue, 8, 6, 8 * 3, rgb.data());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool covered = x >= 4 && y >= 3 && !(x < 6 && y < 4);
            EXPECT_EQ(rgb[(y * 8 + x) * 3], covered ? 255 : 0) << x << "," << y;
        }
}

// Segments of the pages asked kept whole and in order; a cut one ends the packet.
TEST(CDVBSubtitleLayerTest, SegmentsOfThePagesAskedAreKept)
{
    const std::vector<BYTE> data = {0x20, 0x00, 0x0F, 0x10, 0, 1, 0, 1, 0xAA, 0x0F, 0x10, 0, 2, 0, 0,
                                    0x0F, 0x80, 0, 1, 0, 0, 0x0F, 0x13, 0, 1, 0, 9, 0xBB};
    std::vector<BYTE> out;
    CDVBSubtitleSegments::Selection selection;
    ASSERT_TRUE(CDVBSubtitleSegments::Select(data.data(), DWORD(data.size()), 1, 3, out, selection));
    EXPECT_EQ(out, (std::vector<BYTE>{0x0F, 0x10, 0, 1, 0, 1, 0xAA, 0x0F, 0x80, 0, 1, 0, 0}));
    EXPECT_EQ(selection.skipped, 1);
    EXPECT_TRUE(selection.cut);
    EXPECT_EQ(selection.firstPage, 1);
    EXPECT_FALSE(CDVBSubtitleSegments::Select(data.data() + 1, DWORD(data.size() - 1), 1, 3, out, selection));
}

}  // namespace
