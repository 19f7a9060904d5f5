#include "CImageDisplay.h"

#include "decode/CDVBDisplayLayer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>

CImageDisplay::~CImageDisplay()
{
    sws_freeContext(m_scaler);
}

void CImageDisplay::OnFrame(int width, int height, const unsigned char* y, const unsigned char* u,
                            const unsigned char* v, long long presentationTime)
{
    CDVBVideoFrame frame;
    frame.width = width;
    frame.height = height;
    frame.planes[0] = y;
    frame.planes[1] = u;
    frame.planes[2] = v;
    frame.strides[0] = width;
    frame.strides[1] = frame.strides[2] = (width + 1) / 2;
    frame.presentationTime = presentationTime;
    OnVideoFrame(frame);
}

void CImageDisplay::Fit(int shownWidth, int height, int boxWidth, int boxHeight, int& width, int& fitHeight)
{
    width = shownWidth;
    fitHeight = height;
    if (boxWidth <= 0 || boxHeight <= 0)
        return;
    // the largest size of the picture's shape inside the box, even sized for the chroma
    if (std::int64_t(boxWidth) * height <= std::int64_t(boxHeight) * shownWidth) {
        width = boxWidth;
        fitHeight = int((std::int64_t(boxWidth) * height + shownWidth / 2) / shownWidth);
    } else {
        fitHeight = boxHeight;
        width = int((std::int64_t(boxHeight) * shownWidth + height / 2) / height);
    }
    width = std::max(2, width & ~1);
    fitHeight = std::max(2, fitHeight & ~1);
}

void CImageDisplay::OnVideoFrame(const CDVBVideoFrame& frame)
{
    if (frame.width <= 0 || frame.height <= 0 || !frame.planes[0] || !frame.planes[1] || !frame.planes[2])
        return;
    std::function<void()> callback;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        int width = 0, height = 0;
        Fit(frame.DisplayWidth(), frame.height, m_boxWidth, m_boxHeight, width, height);
        const bool scaled = width != frame.width || height != frame.height;
        m_scaler = sws_getCachedContext(m_scaler, frame.width, frame.height, AV_PIX_FMT_YUV420P, width, height,
                                        AV_PIX_FMT_RGB24,
                                        // scaled as FFmpeg's scale filter scales by default
                                        scaled ? SWS_BICUBIC : SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                        nullptr, nullptr, nullptr);
        if (m_scaler == nullptr)
            return;
        m_rgb.resize(std::size_t(width) * height * 3);
        unsigned char* out[4] = {m_rgb.data(), nullptr, nullptr, nullptr};
        const int outStrides[4] = {width * 3, 0, 0, 0};
        sws_scale(m_scaler, frame.planes, frame.strides, 0, frame.height, out, outStrides);
        // layers draw into the RGB picture, by agreement with those who write them
        for (CDVBDisplayLayer* layer : m_layers)
            layer->DrawIntoFrame(width, height, width * 3, m_rgb.data(), nullptr, nullptr, frame.presentationTime);
        m_width = width;
        m_height = height;
        m_time = frame.presentationTime;
        m_hasFrame = true;
        callback = m_callback;
    }
    if (callback)
        callback();
}

void CImageDisplay::SetOutputSize(int width, int height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_boxWidth = std::max(0, width);
    m_boxHeight = std::max(0, height);
}

void CImageDisplay::SetFrameCallback(std::function<void()> callback)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_callback = std::move(callback);
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
