#pragma once
// Something a display draws over every frame (an overlay).
class CDVBDisplayLayer
{
public:
    virtual ~CDVBDisplayLayer() = default;
    // Width, height, line stride, three image planes and the frame's 90 kHz time.
    virtual void DrawIntoFrame(int width, int height, int stride, const unsigned char* plane0,
                               const unsigned char* plane1, const unsigned char* plane2, long long presentationTime);
};
