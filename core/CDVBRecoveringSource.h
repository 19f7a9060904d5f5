#pragma once
// What a live source that gets its stream back by itself tells a host, which reaches it by
// dynamic_cast from the source: whether it is without data now and reopening (a network
// input reconnecting or rejoining, a tuner retuning), and how often that happened.
#include <cstdint>

class CDVBRecoveringSource
{
public:
    virtual ~CDVBRecoveringSource() = default;

    // Nothing has come for a second or more, and the source is trying to get it back.
    virtual bool IsRecovering() const = 0;
    // Times the stream stopped for a second or more.
    virtual std::uint64_t GetLosses() const = 0;
    // Times it reopened: reconnections, rejoins, retunes.
    virtual std::uint64_t GetReopenings() const = 0;
};
