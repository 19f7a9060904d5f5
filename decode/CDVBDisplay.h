#pragma once
// Where a decoder delivers decoded frames. Display plug-ins derive from it; the library
// calls none of the frame operations. The program clock times the frames (not owned).
#include "decode/CDVBVideoFrame.h"

#include <cstdint>
#include <vector>

class CDVBDisplayLayer;
class CDVBProgramClock;

class CDVBDisplay
{
public:
    virtual ~CDVBDisplay() = default;
    virtual void SetProgramClock(CDVBProgramClock* clock) { m_programClock = clock; }
    // Width, height, three image planes and the frame's 90 kHz presentation time: the
    // layout decoder and display plug-ins agree on.
    virtual void OnFrame(int width, int height, const unsigned char* plane0, const unsigned char* plane1,
                         const unsigned char* plane2, long long presentationTime);
    // A picture with its strides and shape. The base packs the planes for OnFrame; a
    // display that can use them as they are overrides it.
    virtual void OnVideoFrame(const CDVBVideoFrame& frame);
    virtual void OnEveryMillisecond() {}
    virtual bool AddDisplayLayer(CDVBDisplayLayer*) { return false; }
    virtual bool RemoveDisplayLayer(CDVBDisplayLayer*) { return false; }

    CDVBProgramClock* m_programClock = nullptr;

private:
    std::vector<unsigned char> m_packed;
};
