#pragma once
// Sound through a PulseAudio server (which PipeWire desktops serve too), on libpulse's
// threaded main loop. It plays the server's own rate and at most its channel count, so the
// server neither resamples nor remixes; the decoder converts to them. Nothing it does waits
// on the server for longer than the connection's time-out, and a server that goes away
// leaves an output that takes every frame and plays none.
#include "decode/CDVBAudioOutput.h"

#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>

class CPulseAudioOutput : public CDVBAudioOutput
{
public:
    CPulseAudioOutput() = default;
    ~CPulseAudioOutput() override;
    CPulseAudioOutput(const CPulseAudioOutput&) = delete;
    CPulseAudioOutput& operator=(const CPulseAudioOutput&) = delete;

    // Connects and opens the stream for sound of `sampleRate` and `channels`; false, with
    // GetFailure saying why, when there is no server to play on.
    bool Open(int sampleRate, int channels);
    const std::string& GetFailure() const { return m_failure; }

    int GetSampleRate() override { return m_rate; }
    int GetChannels() override { return m_channels; }
    int Write(const float* samples, int frames, long long presentationTime) override;
    int GetWritableFrames() override;
    bool WaitForRoom(int milliseconds) override;
    bool GetPlayingTime(long long& presentationTime) override;
    void Flush() override;
    void SetVolume(double volume) override;
    void SetMute(bool mute) override;
    void GetStatus(CString& status) override;
    std::uint64_t GetUnderruns() override { return m_underruns; }
    int GetLatencyMs() override;

private:
    bool OpenStream();      // the main loop locked
    void CloseStream();     // the main loop locked
    bool Usable() const;    // the main loop locked
    void ApplyVolume();     // the main loop locked
    template <typename Ready>
    bool WaitFor(Ready ready, pa_usec_t limit = 3 * PA_USEC_PER_SEC);   // the main loop locked

    pa_threaded_mainloop* m_loop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    int m_rate = 48000;
    int m_channels = 2;
    std::string m_failure;
    std::string m_sink;
    double m_volume = 1.0;
    bool m_mute = false;
    // Frames written since the stream opened, and the presentation time of the frame at
    // each index where the times were not contiguous.
    std::uint64_t m_written = 0;
    std::deque<std::pair<std::uint64_t, long long>> m_marks;
    std::atomic<std::uint64_t> m_underruns{0};
    bool m_dryOnPurpose = false;   // the main loop's: the next underflow was made here
};
