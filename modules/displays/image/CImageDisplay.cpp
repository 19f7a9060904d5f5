#include "CImageDisplay.h"

#include "decode/CDVBDisplayLayer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>

CImageDisplay::~CImageDisplay()
{
    sws_freeContext(m_scaler);
}

void CImageDisplay::OnFrame(int width, int height, const unsigned char* y, const unsigned char* u,
                            const unsigned char* v, long long presentationTime)
{
    if (width <= 0 || height <= 0 || y == nullptr || u == nullptr || v == nullptr)
        return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_scaler = sws_getCachedContext(m_scaler, width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_RGB24,
                                    SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (m_scaler == nullptr)
        return;
    m_rgb.resize(std::size_t(width) * height * 3);
    const int chroma = (width + 1) / 2;
    const unsigned char* const planes[4] = {y, u, v, nullptr};
    const int strides[4] = {width, chroma, chroma, 0};
    unsigned char* out[4] = {m_rgb.data(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {width * 3, 0, 0, 0};
    sws_scale(m_scaler, planes, strides, 0, height, out, outStrides);
    // layers draw into the RGB picture, by agreement with those who write them
    for (CDVBDisplayLayer* layer : m_layers)
        layer->DrawIntoFrame(width, height, width * 3, m_rgb.data(), nullptr, nullptr, presentationTime);
    m_width = width;
    m_height = height;
    m_time = presentationTime;
    m_hasFrame = true;
}

bool CImageDisplay::AddDisplayLayer(CDVBDisplayLayer* layer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (layer == nullptr || std::find(m_layers.begin(), m_layers.end(), layer) != m_layers.end())
        return false;
    m_layers.push_back(layer);
    return true;
}

bool CImageDisplay::RemoveDisplayLayer(CDVBDisplayLayer* layer)
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto found = std::find(m_layers.begin(), m_layers.end(), layer);
    if (found == m_layers.end())
        return false;
    m_layers.erase(found);
    return true;
}

bool CImageDisplay::GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, long long& presentationTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_hasFrame)
        return false;
    rgb = m_rgb;
    width = m_width;
    height = m_height;
    presentationTime = m_time;
    return true;
}
