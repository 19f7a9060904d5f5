#pragma once
// Where a decoder delivers decoded sound, and while sound plays the clock the pictures are
// timed by. Audio output plug-ins derive from it; the library calls none of it. Sound is
// interleaved 32-bit float samples at the rate and channel count the output plays
// (GetSampleRate, GetChannels: chosen when it opened); a decoder converts to them. The base
// takes every frame and plays none, and so gives no clock: the program clock times pictures.
#include "platform/CString.h"

#include <cstdint>

class CDVBAudioOutput
{
public:
    virtual ~CDVBAudioOutput() = default;

    virtual int GetSampleRate() { return 48000; }
    virtual int GetChannels() { return 2; }
    // Takes up to `frames` frames (a frame: one sample of each channel), the first to be
    // heard at `presentationTime` (90 kHz; -1: right after the frames before), and returns
    // how many it took. Never blocks: a decoder writes the rest when there is room.
    virtual int Write(const float*, int frames, long long) { return frames; }
    // How many frames a Write would take now.
    virtual int GetWritableFrames() { return 1 << 20; }
    // Waits at most `milliseconds` for room, for a decoder's own thread; true when there is.
    virtual bool WaitForRoom(int /*milliseconds*/) { return true; }
    // The presentation time of the sound heard at this moment, the output's latency taken
    // off; false while nothing is heard (before the first frames, after Flush, in an underrun).
    virtual bool GetPlayingTime(long long&) { return false; }
    // Drops the frames not yet heard: another service, a jump in the presentation times.
    virtual void Flush() {}
    // Times the output ran dry while playing, and the delay from Write to being heard.
    virtual std::uint64_t GetUnderruns() { return 0; }
    virtual int GetLatencyMs() { return 0; }
    virtual void SetVolume(double) {}   // 0 to 1
    virtual void SetMute(bool) {}
    // What plays, for people ("PulseAudio, 48000 Hz stereo, 40 ms"), or why nothing does.
    virtual void GetStatus(CString& status) { status.Empty(); }
};
