#pragma once
// What a host asks of a subtitle decoder beyond the PID receiver's calls, through
// dynamic_cast: which pages of its PID to decode, the layer its cues are shown on, and
// each cue as it is decoded (on the receive thread).
#include "platform/LUMTypes.h"

#include <cstdint>
#include <functional>

class CDVBSubtitleLayer;
struct CDVBSubtitleCue;

class CDVBSubtitleDecoder
{
public:
    virtual ~CDVBSubtitleDecoder();

    // The subtitling descriptor's pages of the track chosen; without them, the first page
    // that comes. Set before the decoder is registered.
    virtual void SetPages(int compositionPage, int ancillaryPage) = 0;
    virtual CDVBSubtitleLayer& GetLayer() = 0;
    // Each page as it is decoded, the cues that clear included; its end is the page's time-out.
    virtual void SetCueHandler(std::function<void(const CDVBSubtitleCue&)> handler) = 0;
    // PES packets that were not subtitles, and pages the decoder could not read.
    virtual std::uint64_t GetErrors() const = 0;
};
