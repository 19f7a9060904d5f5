#pragma once
// What a display that keeps its latest frame offers hosts besides the display calls: a
// copy of that frame as 8-bit RGB. A host asks for it through dynamic_cast, as it asks a
// source whether it has ended.
#include <cstdint>
#include <vector>

class CDVBFrameSnapshot
{
public:
    virtual ~CDVBFrameSnapshot();
    // False until a frame has come. `rgb` gets width * height * 3 bytes, rows top first.
    virtual bool GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height,
                                long long& presentationTime) = 0;
};
