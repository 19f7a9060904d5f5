#pragma once
// A display layer that draws nothing: it writes a line for each picture presented, for
// measuring a player from outside: the system's monotonic time (CLOCK_MONOTONIC, in
// nanoseconds, the clock other programs read too), the picture's presentation time and its
// mean brightness (0-255, from a sparse grid of its pixels).
#include "decode/CDVBDisplayLayer.h"

#include <cstdio>
#include <string>

class CPresentationLog : public CDVBDisplayLayer
{
public:
    CPresentationLog() = default;
    ~CPresentationLog() override { Close(); }
    CPresentationLog(const CPresentationLog&) = delete;
    CPresentationLog& operator=(const CPresentationLog&) = delete;

    bool Open(const std::string& path);
    bool Close();   // false when not every line was written

    // RGB frames, `stride` bytes a row, by agreement with the display.
    void DrawIntoFrame(int width, int height, int stride, const unsigned char* rgb, const unsigned char*,
                       const unsigned char*, long long presentationTime) override;

private:
    std::FILE* m_file = nullptr;
    bool m_failed = false;
};
