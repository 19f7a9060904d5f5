#pragma once
// A decoded picture as a decoder hands it to a display: the decoder's own planes (8-bit
// Y, U and V at 4:2:0, each with its line stride), the shape it is meant to be seen in and
// its 90 kHz presentation time. The planes are the decoder's until OnVideoFrame returns.
struct CDVBVideoFrame
{
    int width = 0;
    int height = 0;
    const unsigned char* planes[3] = {nullptr, nullptr, nullptr};
    int strides[3] = {0, 0, 0};
    // The width of a sample over its height (64:45 for 16:9 pictures 720 samples wide);
    // 0:1 when the stream does not say, which is taken as square.
    int sampleAspectNum = 0;
    int sampleAspectDen = 1;
    bool interlaced = false;   // as decoded: a display may weave it, a decoder deinterlaces
    long long presentationTime = -1;

    // The width the picture is seen at, its height kept: 1024 for 720 samples of 64:45.
    int DisplayWidth() const
    {
        if (sampleAspectNum <= 0 || sampleAspectDen <= 0)
            return width;
        const long long shown = (static_cast<long long>(width) * sampleAspectNum + sampleAspectDen / 2) / sampleAspectDen;
        return shown > 0 && shown <= 16 * width ? int(shown) : width;
    }
};
