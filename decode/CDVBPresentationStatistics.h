#pragma once
// What a service's playback did, for hosts to report: its decoders count here from their
// threads, a host reads a copy whenever it likes. Times are the receiver's monotonic
// clock in nanoseconds; intervals and offsets are kept in milliseconds.
#include <cstdint>
#include <mutex>
#include <vector>

class CDVBPresentationStatistics
{
public:
    struct Spread
    {
        double p50 = 0;
        double p95 = 0;
        double max = 0;
        std::size_t count = 0;
    };
    struct Figures
    {
        std::uint64_t decoded = 0;     // pictures decoded (after the first key frame) and ready to be shown
        std::uint64_t presented = 0;
        std::uint64_t dropped = 0;     // came too late to be shown
        std::uint64_t repeated = 0;    // shown with the time of the picture before
        std::uint64_t resyncs = 0;     // jumps in the time stamps followed
        Spread interval;               // between pictures presented
        Spread avOffset;               // sound minus picture, positive when the sound is late
        std::uint64_t samplesPlayed = 0;   // frames of sound the output took
        std::int64_t firstDecoded = -1;    // monotonic time of the first picture decoded, -1: none yet
        std::int64_t firstPicture = -1;    // of the first shown
        std::int64_t firstSound = -1;
    };

    // The moment the service was asked for, from which the first picture and sound count.
    void Restart(std::int64_t requested);
    void OnDecoded(std::int64_t now);
    void OnPresented(std::int64_t now, long long presentationTime);
    void OnDropped();
    void OnResync();
    // Sound minus picture, in 90 kHz ticks, when a picture is shown while sound plays.
    void OnAVOffset(std::int64_t ticks);
    void OnSoundWritten(std::int64_t now, std::uint64_t frames);

    Figures Get() const;
    std::int64_t GetRequested() const;
    // The median of `values`, the 95th percentile and the largest of their sizes (the
    // median keeps its sign: which way an offset leans).
    static Spread Summarise(std::vector<double> values);

private:
    static constexpr std::size_t kMaxSamples = std::size_t(1) << 20;   // over 5 hours at 50 a second

    mutable std::mutex m_lock;
    Figures m_figures;
    std::int64_t m_requested = 0;
    std::int64_t m_lastPresented = -1;
    long long m_lastTime = -1;
    std::vector<double> m_intervals;
    std::vector<double> m_offsets;
};
