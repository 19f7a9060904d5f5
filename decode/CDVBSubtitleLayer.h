#pragma once
// The subtitles of one track as a display layer: cues come from a decoder on its thread,
// ahead of their time, and each is drawn into the frames from its start until its end or
// the next cue, scaled from the frame it was composed for to the frame drawn into. A view
// that paints for itself takes the cue of a frame's time with GetShown.
#include "decode/CDVBDisplayLayer.h"
#include "decode/CDVBSubtitleCue.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class CDVBSubtitleLayer : public CDVBDisplayLayer
{
public:
    static constexpr std::size_t kWaiting = 64;   // cues kept ahead of the pictures

    // Shown from cue.start; a cue without pixels clears. Cues come in time order.
    void Show(CDVBSubtitleCue cue);
    // Nothing shown, nothing waiting: a change of track or a jump in the stream.
    void Clear();
    // The cue to show with the frame of this 90 kHz time, nullptr for none.
    std::shared_ptr<const CDVBSubtitleCue> GetShown(long long presentationTime);
    // Cues shown since the layer was made, those that clear included.
    std::uint64_t GetReceived() const { return m_received; }

    // RGB24 frames (the image display's, a snapshot's), `stride` bytes a row.
    void DrawIntoFrame(int width, int height, int stride, const unsigned char* rgb, const unsigned char*,
                       const unsigned char*, long long presentationTime) override;
    // Blends a cue into an RGB24 picture of any size.
    static void Draw(const CDVBSubtitleCue& cue, int width, int height, int stride, unsigned char* rgb);

private:
    std::mutex m_lock;
    std::deque<std::shared_ptr<const CDVBSubtitleCue>> m_cues;
    std::atomic<std::uint64_t> m_received{0};
};
