#pragma once
// A display that keeps the latest frame in 8-bit RGB in its seen shape and at the size a
// host asked for (one conversion and scaling, from the decoder's planes), its layers drawn
// into it (RGB24 pictures only), for hosts that save or show a picture (CDVBFrameSnapshot).
// Frames are converted as they come while a host is called for each or layers draw into
// each; otherwise no one takes them and nothing is done.
#include "decode/CDVBDisplay.h"
#include "decode/CDVBFrameSnapshot.h"

#include <functional>
#include <mutex>
#include <vector>

class CDVBDisplayLayer;
struct SwsContext;

class CImageDisplay : public CDVBDisplay, public CDVBFrameSnapshot
{
public:
    ~CImageDisplay() override;

    // Three packed 4:2:0 planes (Y, then U and V at half width and height), square samples.
    void OnFrame(int width, int height, const unsigned char* y, const unsigned char* u, const unsigned char* v,
                 long long presentationTime) override;
    void OnVideoFrame(const CDVBVideoFrame& frame) override;
    bool AddDisplayLayer(CDVBDisplayLayer* layer) override;
    bool RemoveDisplayLayer(CDVBDisplayLayer* layer) override;
    bool TakeLatestFrame(std::vector<std::uint8_t>& pixels, int& width, int& height, long long& presentationTime) override;
    void SetOutputSize(int width, int height) override;
    void SetPixels(Pixels pixels) override;
    void SetFrameCallback(std::function<void()> callback) override;

    // The size a picture of `shownWidth` x `height` is made at to fit `boxWidth` x `boxHeight`.
    static void Fit(int shownWidth, int height, int boxWidth, int boxHeight, int& width, int& fitHeight);

private:
    void Convert(const CDVBVideoFrame& frame);   // into m_rgb, m_lock held

    std::mutex m_lock;   // frames come on a decode thread, hosts read on theirs
    SwsContext* m_scaler = nullptr;
    SwsContext* m_converter = nullptr;   // a scaled picture's planes to pixels
    std::vector<std::uint8_t> m_scaled;
    Pixels m_pixels = Pixels::RGB24;
    std::vector<std::uint8_t> m_rgb;
    int m_width = 0;
    int m_height = 0;
    int m_boxWidth = 0;
    int m_boxHeight = 0;
    long long m_time = 0;
    bool m_hasFrame = false;
    bool m_taken = false;   // m_rgb was swapped out to a view
    std::vector<CDVBDisplayLayer*> m_layers;   // not owned
    std::function<void()> m_callback;
};
