#include "CSnapshotLayer.h"

#include <algorithm>
#include <cstring>

void CSnapshotLayer::DrawIntoFrame(int width, int height, int stride, const unsigned char* rgb, const unsigned char*,
                                   const unsigned char*, long long presentationTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_captured || rgb == nullptr || width <= 0 || height <= 0 || stride < width * 3 || presentationTime < 0)
        return;
    if (!m_sawFirst) {
        m_sawFirst = true;
        m_first = presentationTime;
    }
    m_last = std::max(m_last, presentationTime);
    if (presentationTime - m_first < m_after)
        return;
    m_rgb.resize(std::size_t(width) * height * 3);
    for (int row = 0; row < height; ++row)
        std::memcpy(m_rgb.data() + std::size_t(row) * width * 3, rgb + std::size_t(row) * stride, std::size_t(width) * 3);
    m_width = width;
    m_height = height;
    m_captured = true;
}

bool CSnapshotLayer::GetFrame(std::vector<std::uint8_t>& rgb, int& width, int& height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_captured)
        return false;
    rgb = m_rgb;
    width = m_width;
    height = m_height;
    return true;
}

double CSnapshotLayer::GetSecondsSeen()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_sawFirst ? double(m_last - m_first) / 90000.0 : -1;
}
