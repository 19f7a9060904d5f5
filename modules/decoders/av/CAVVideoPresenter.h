#pragma once
// The decode thread's pictures on their way to the display: deinterlaced and brought to
// 8-bit 4:2:0 by a libavfilter graph when they need it (and straight from the decoder's
// planes when not), then held until the presentation clock reaches their time; one that
// comes later than two pictures' length is dropped. Without a clock each goes at once.
#include "platform/CString.h"

#include <atomic>
#include <cstdint>
#include <mutex>

struct AVFilterContext;
struct AVFilterGraph;
struct AVFrame;
class CDVBDisplay;
class CDVBPresentationClock;
class CDVBPresentationStatistics;
class CEvent;

class CAVVideoPresenter
{
public:
    explicit CAVVideoPresenter(CEvent& stop) : m_stop(stop) {}
    ~CAVVideoPresenter();
    CAVVideoPresenter(const CAVVideoPresenter&) = delete;
    CAVVideoPresenter& operator=(const CAVVideoPresenter&) = delete;

    void SetDisplay(CDVBDisplay* display);
    bool UnsetDisplay(CDVBDisplay* display);
    void SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics);
    void SetDeinterlacing(bool on) { m_deinterlace = on; }

    // A decoded picture (nullptr: the stream has ended, what the filter holds comes out).
    void Present(AVFrame* frame);
    // "1920x1080i 25 fps" once a picture has come.
    void Describe(CString& description) const;

private:
    bool NeedsFilter(const AVFrame* frame) const;
    bool OpenFilter(const AVFrame* frame);
    void CloseFilter();
    // Waits for the picture's time; false when it is dropped.
    bool WaitForTime(long long presentationTime);
    void Deliver(const AVFrame* frame, long long presentationTime);

    CEvent& m_stop;
    std::mutex m_displayLock;   // the display is set from the host's thread
    CDVBDisplay* m_display = nullptr;
    CDVBPresentationClock* m_clock = nullptr;
    CDVBPresentationStatistics* m_statistics = nullptr;
    std::atomic<bool> m_deinterlace{true};
    // the decode thread's
    AVFilterGraph* m_graph = nullptr;
    AVFilterContext* m_source = nullptr;
    AVFilterContext* m_sink = nullptr;
    AVFrame* m_filtered = nullptr;
    int m_graphWidth = 0, m_graphHeight = 0, m_graphFormat = -1;
    bool m_graphDeinterlaces = false;
    long long m_lastTime = -1;
    std::int64_t m_lastShown = -1;   // monotonic time of the last picture handed over
    std::atomic<std::int64_t> m_period{3600};   // of a picture, in 90 kHz ticks; 25 a second until known
    // what Describe says, written by the decode thread
    mutable std::mutex m_describeLock;
    int m_width = 0, m_height = 0;
    bool m_interlaced = false;
};
