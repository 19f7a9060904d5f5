#pragma once
// What a display that keeps its latest frame offers hosts besides the display calls: that
// frame as 8-bit RGB in the shape it is meant to be seen (the sample aspect honoured), at a
// size and in a layout the host may choose, and a call when a new one is there. A host asks for it through dynamic_cast, as it asks a source whether it has ended.
#include <cstdint>
#include <functional>
#include <vector>

class CDVBFrameSnapshot
{
public:
    enum class Pixels
    {
        RGB24,    // 3 bytes: red, green, blue
        XRGB32,   // 32-bit words 0xffRRGGBB in the machine's byte order, as toolkits draw
                  // them (QImage::Format_RGB32): quicker to make and to draw
    };

    virtual ~CDVBFrameSnapshot();
    // The latest frame, width * height pixels, rows top first: its pixels are swapped with
    // those of `pixels` (whose memory is used again for the next), not copied. False until a
    // frame has come since SetFrameCallback, and for each taken already.
    virtual bool TakeLatestFrame(std::vector<std::uint8_t>& pixels, int& width, int& height,
                                 long long& presentationTime) = 0;
    // The picture is made to fit `width` x `height`, its shape kept (converted and scaled
    // once, from the decoder's planes); 0 x 0: its own size, wider for wide samples.
    virtual void SetOutputSize(int /*width*/, int /*height*/) {}
    virtual void SetPixels(Pixels /*pixels*/) {}   // RGB24 unless set
    // Called on the decoder's thread as each frame is kept: a host posts itself a note,
    // and takes the frame on its own thread.
    virtual void SetFrameCallback(std::function<void()> /*callback*/) {}
};
