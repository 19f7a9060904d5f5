#include "CImageDisplay.h"

#include "decode/CDVBDisplayLayer.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstddef>
#include <cstdint>

CImageDisplay::~CImageDisplay()
{
    sws_freeContext(m_scaler);
    sws_freeContext(m_converter);
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
        if (!m_callback && m_layers.empty())
            return;   // no one takes it: not converted, not kept
        m_hasFrame = true;
        Convert(frame);
        m_time = frame.presentationTime;
        m_taken = false;
        callback = m_callback;
    }
    if (callback)
        callback();
}

void CImageDisplay::Convert(const CDVBVideoFrame& frame)
{
    int width = 0, height = 0;
    Fit(frame.DisplayWidth(), frame.height, m_boxWidth, m_boxHeight, width, height);
    const bool words = m_pixels == Pixels::XRGB32;
    if (words && width > 8 && width % 8) {
        // swscale's vector conversion to words leaves the pixels past a multiple of 8 in a row
        const int rounded = width & ~7;
        height = std::max(2, int(std::int64_t(rounded) * height / width) & ~1);
        width = rounded;
    }
    const bool scaled = width != frame.width || height != frame.height;
    // scaled as FFmpeg's scale filter scales by default; a picture to save exactly, one to
    // show by swscale's quick paths
    const int flags = scaled ? SWS_BICUBIC : words ? SWS_POINT : SWS_POINT | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
    // a picture to show is scaled in its planes, then converted: each pass has swscale's
    // vector code, where scaling into packed pixels has not
    const bool twoPasses = words && scaled;
    m_scaler = sws_getCachedContext(m_scaler, frame.width, frame.height, AV_PIX_FMT_YUV420P, width, height,
                                    twoPasses ? AV_PIX_FMT_YUV420P : words ? AV_PIX_FMT_RGB32 : AV_PIX_FMT_RGB24, flags,
                                    nullptr, nullptr, nullptr);
    if (twoPasses)
        m_converter = sws_getCachedContext(m_converter, width, height, AV_PIX_FMT_YUV420P, width, height, AV_PIX_FMT_RGB32,
                                           SWS_POINT, nullptr, nullptr, nullptr);
    if (m_scaler == nullptr || (twoPasses && m_converter == nullptr)) {
        m_hasFrame = false;
        return;
    }
    const int bytes = words ? 4 : 3;
    m_rgb.resize(std::size_t(width) * height * bytes);
    unsigned char* out[4] = {m_rgb.data(), nullptr, nullptr, nullptr};
    const int outStrides[4] = {width * bytes, 0, 0, 0};
    if (twoPasses) {
        const int chromaWidth = (width + 1) / 2, chromaHeight = (height + 1) / 2;
        m_scaled.resize(std::size_t(width) * height + 2 * std::size_t(chromaWidth) * chromaHeight);
        unsigned char* planes[4] = {m_scaled.data(), m_scaled.data() + std::size_t(width) * height,
                                    m_scaled.data() + std::size_t(width) * height + std::size_t(chromaWidth) * chromaHeight,
                                    nullptr};
        const int strides[4] = {width, chromaWidth, chromaWidth, 0};
        sws_scale(m_scaler, frame.planes, frame.strides, 0, frame.height, planes, strides);
        sws_scale(m_converter, planes, strides, 0, height, out, outStrides);
    } else {
        sws_scale(m_scaler, frame.planes, frame.strides, 0, frame.height, out, outStrides);
    }
    // layers draw into the RGB picture, by agreement with those who write them
    if (!words)
        for (CDVBDisplayLayer* layer : m_layers)
            layer->DrawIntoFrame(width, height, width * 3, m_rgb.data(), nullptr, nullptr, frame.presentationTime);
    m_width = width;
    m_height = height;
}

void CImageDisplay::SetOutputSize(int width, int height)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_boxWidth = std::max(0, width);
    m_boxHeight = std::max(0, height);
}

void CImageDisplay::SetPixels(Pixels pixels)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pixels = pixels;
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

bool CImageDisplay::TakeLatestFrame(std::vector<std::uint8_t>& pixels, int& width, int& height, long long& presentationTime)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_hasFrame || m_taken)
        return false;
    pixels.swap(m_rgb);   // the next frame is made in the view's last buffer
    m_taken = true;
    width = m_width;
    height = m_height;
    presentationTime = m_time;
    return true;
}
