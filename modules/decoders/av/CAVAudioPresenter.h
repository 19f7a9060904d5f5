#pragma once
// The decode thread's sound on its way to the audio output: converted by libswresample to
// the output's rate and channels (downmixed as FFmpeg downmixes), whatever the stream
// changes to on the way, and started when the program clock reaches its time, so that
// sound and pictures begin where the broadcaster put them. A jump in the time stamps
// drops what the output holds and starts again at the new time.
#include "platform/CString.h"

#include <cstdint>
#include <mutex>
#include <vector>

struct AVFrame;
struct SwrContext;
class CDVBAudioOutput;
class CDVBPresentationClock;
class CDVBPresentationStatistics;
class CEvent;

class CAVAudioPresenter
{
public:
    explicit CAVAudioPresenter(CEvent& stop) : m_stop(stop) {}
    ~CAVAudioPresenter();
    CAVAudioPresenter(const CAVAudioPresenter&) = delete;
    CAVAudioPresenter& operator=(const CAVAudioPresenter&) = delete;

    void SetOutput(CDVBAudioOutput* output);
    void SetPresentation(CDVBPresentationClock* clock, CDVBPresentationStatistics* statistics);
    void Present(const AVFrame* frame);
    // "48 kHz 5.1(side)" once sound has come.
    void Describe(CString& description) const;

private:
    bool Configure(const AVFrame* frame, int outputRate, int outputChannels);
    // Waits until the program clock reaches `presentationTime`; false when the whole of
    // `frames` is too late to start with, else `late` is how many of them are.
    bool WaitToStart(long long presentationTime, int frames, int& late);
    // Whether the sound heard is later than the program clock by more than it may be.
    bool IsHeardLate();
    void Write(const float* samples, int frames, long long presentationTime);

    CEvent& m_stop;
    std::mutex m_outputLock;   // the output is set from the host's thread
    CDVBAudioOutput* m_output = nullptr;
    CDVBPresentationClock* m_clock = nullptr;
    CDVBPresentationStatistics* m_statistics = nullptr;
    // the decode thread's
    SwrContext* m_resampler = nullptr;
    int m_inputRate = 0, m_inputFormat = -1, m_inputChannels = 0;
    std::uint64_t m_inputMask = 0;
    int m_outputRate = 0, m_outputChannels = 0;
    std::vector<float> m_converted;
    bool m_started = false;
    int m_lateFrames = 0;            // skipped while waiting to start
    std::int64_t m_restarted = -1;   // monotonic time the output was last started again for being late
    long long m_nextTime = -1;       // where the sound before ends
    mutable std::mutex m_describeLock;
    CString m_description;
};
