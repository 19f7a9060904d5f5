#pragma once
// A display that converts each frame to 8-bit RGB, draws its layers into it and keeps the
// latest, for hosts that save or show a picture (CDVBFrameSnapshot).
#include "decode/CDVBDisplay.h"
#include "decode/CDVBFrameSnapshot.h"

#include <mutex>
#include <vector>

class CDVBDisplayLayer;
struct SwsContext;

class CImageDisplay : public CDVBDisplay, public CDVBFrameSnapshot
{
public:
    ~CImageDisplay() override;

    // Three packed 4:2:0 planes (Y, then U and V at half width and height).
    void OnFrame(int width, int height, const unsigned char* y, const unsigned char* u, const unsigned char* v,
                 long long presentationTime) override;
    bool AddDisplayLayer(CDVBDisplayLayer* layer) override;
    bool RemoveDisplayLayer(CDVBDisplayLayer* layer) override;
    bool GetLatestFrame(std::vector<std::uint8_t>& rgb, int& width, int& height, long long& presentationTime) override;

private:
    std::mutex m_lock;   // frames come on a decode thread, hosts read on theirs
    SwsContext* m_scaler = nullptr;
    std::vector<std::uint8_t> m_rgb;
    int m_width = 0;
    int m_height = 0;
    long long m_time = 0;
    bool m_hasFrame = false;
    std::vector<CDVBDisplayLayer*> m_layers;   // not owned
};
