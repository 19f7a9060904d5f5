#pragma once
// A display that converts each frame to 8-bit RGB in its seen shape and at the size a host
// asked for (one conversion and scaling, from the decoder's planes), draws its layers
// into it and keeps the latest, for hosts that save or show a picture (CDVBFrameSnapshot).
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
    bool GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, long long& presentationTime) override;
    void SetOutputSize(int width, int height) override;
    void SetFrameCallback(std::function<void()> callback) override;

    // The size a picture of `shownWidth` x `height` is made at to fit `boxWidth` x `boxHeight`.
    static void Fit(int shownWidth, int height, int boxWidth, int boxHeight, int& width, int& fitHeight);

private:
    std::mutex m_lock;   // frames come on a decode thread, hosts read on theirs
    SwsContext* m_scaler = nullptr;
    std::vector<std::uint8_t> m_rgb;
    int m_width = 0;
    int m_height = 0;
    int m_boxWidth = 0;
    int m_boxHeight = 0;
    long long m_time = 0;
    bool m_hasFrame = false;
    std::vector<CDVBDisplayLayer*> m_layers;   // not owned
    std::function<void()> m_callback;
};
