#include "decode/CDVBDisplay.h"

#include <cstring>

void CDVBDisplay::OnFrame(int, int, const unsigned char*, const unsigned char*, const unsigned char*, long long) {}

void CDVBDisplay::OnVideoFrame(const CDVBVideoFrame& frame)
{
    const int w = frame.width, h = frame.height, cw = (w + 1) / 2, ch = (h + 1) / 2;
    if (w <= 0 || h <= 0 || !frame.planes[0] || !frame.planes[1] || !frame.planes[2])
        return;
    if (frame.strides[0] == w && frame.strides[1] == cw && frame.strides[2] == cw &&
        frame.planes[1] == frame.planes[0] + w * h && frame.planes[2] == frame.planes[1] + cw * ch) {
        OnFrame(w, h, frame.planes[0], frame.planes[1], frame.planes[2], frame.presentationTime);
        return;
    }
    m_packed.resize(std::size_t(w) * h + 2 * std::size_t(cw) * ch);
    unsigned char* out = m_packed.data();
    const int widths[3] = {w, cw, cw}, heights[3] = {h, ch, ch};
    for (int plane = 0; plane < 3; ++plane)
        for (int row = 0; row < heights[plane]; ++row, out += widths[plane])
            std::memcpy(out, frame.planes[plane] + std::ptrdiff_t(row) * frame.strides[plane], std::size_t(widths[plane]));
    OnFrame(w, h, m_packed.data(), m_packed.data() + w * h, m_packed.data() + w * h + cw * ch, frame.presentationTime);
}
