#pragma once
// One subtitle as it is shown: a picture in straight-alpha RGBA placed on a frame of the
// size its broadcast composes for (720x576 unless a display definition says otherwise),
// from `start` until `end` (90 kHz presentation times; end -1 while not known). A cue
// without pixels clears what was shown.
#include <cstdint>
#include <vector>

struct CDVBSubtitleCue
{
    long long start = -1;
    long long end = -1;
    int frameWidth = 720;
    int frameHeight = 576;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;   // width * height * 4

    bool IsClear() const { return width <= 0 || height <= 0; }
};
