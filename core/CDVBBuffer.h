#pragma once
// A block of bytes with a fill level and optional timestamps, passed between a producer
// and a consumer thread through CDVBBufferList queues. It owns its block, so it cannot be
// copied.
#include "platform/LUMTypes.h"

#include <cstdint>

class CDVBBuffer
{
public:
    static constexpr DWORD HasPts = 1;
    static constexpr DWORD HasDts = 2;
    static constexpr DWORD HasClock = 4;

    explicit CDVBBuffer(DWORD capacity);
    virtual ~CDVBBuffer();
    CDVBBuffer(const CDVBBuffer&) = delete;
    CDVBBuffer& operator=(const CDVBBuffer&) = delete;

    BYTE* m_data;
    BYTE* m_position;   // cursor of a reader or writer that works in steps
    DWORD m_capacity;
    DWORD m_used = 0;
    DWORD m_timeStampFlags = 0;
    std::int64_t m_pts = 0;
    std::int64_t m_dts = 0;
    std::int64_t m_clock = 0;
};
