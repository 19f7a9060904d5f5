#pragma once
// What a display that keeps its latest frame offers hosts besides the display calls: a
// copy of that frame as 8-bit RGB in the shape it is meant to be seen (the sample aspect
// honoured), at a size the host may choose, and a call when a new one is there. A host
// asks for it through dynamic_cast, as it asks a source whether it has ended.
#include <cstdint>
#include <functional>
#include <vector>

class CDVBFrameSnapshot
{
public:
    virtual ~CDVBFrameSnapshot();
    // False until a frame has come. `rgb` gets width * height * 3 bytes, rows top first.
    virtual bool GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height,
                                long long& presentationTime) = 0;
    // The picture is made to fit `width` x `height`, its shape kept (converted and scaled
    // once, from the decoder's planes); 0 x 0: its own size, wider for wide samples.
    virtual void SetOutputSize(int /*width*/, int /*height*/) {}
    // Called on the decoder's thread as each frame is kept: a host posts itself a note,
    // and takes the frame on its own thread.
    virtual void SetFrameCallback(std::function<void()> /*callback*/) {}
};
