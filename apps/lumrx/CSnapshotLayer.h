#pragma once
// A display layer that draws nothing: it keeps a copy of the first frame drawn at or after
// a presentation time, counted from the first frame it sees, so that a host can save it.
#include "decode/CDVBDisplayLayer.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CSnapshotLayer : public CDVBDisplayLayer
{
public:
    explicit CSnapshotLayer(long long after) : m_after(after) {}

    // RGB frames, `stride` bytes a row, by agreement with the display.
    void DrawIntoFrame(int width, int height, int stride, const unsigned char* rgb, const unsigned char*,
                       const unsigned char*, long long presentationTime) override;
    // False until the frame has come; `rgb` gets width * height * 3 bytes.
    bool GetFrame(std::vector<std::uint8_t>& rgb, int& width, int& height);
    // Seconds of pictures seen before the one kept, -1 before the first: says how far short
    // of `after` a stream that ended came.
    double GetSecondsSeen();

private:
    const long long m_after;   // 90 kHz
    std::mutex m_lock;
    bool m_sawFirst = false;
    long long m_first = 0;
    long long m_last = 0;
    bool m_captured = false;
    std::vector<std::uint8_t> m_rgb;
    int m_width = 0;
    int m_height = 0;
};
