#pragma once
// A fixed ring of reference points (system clock, packets processed) whose mean point
// lets the program clock map packet positions to system time, and which can measure a
// bitrate of its own from the oldest point to the mean one.
#include "platform/CCriticalSection.h"

#include <cstdint>
#include <vector>

class CDVBReferencePointTracker
{
public:
    explicit CDVBReferencePointTracker(int capacity);
    virtual ~CDVBReferencePointTracker() = default;
    CDVBReferencePointTracker(const CDVBReferencePointTracker&) = delete;
    CDVBReferencePointTracker& operator=(const CDVBReferencePointTracker&) = delete;

    void Initialise();
    void Add(std::int64_t clock, std::uint64_t packets);
    // The mean point; (0, 0) with no points.
    void GetReferencePoint(std::int64_t& clock, std::uint64_t& packets);
    void GetBitrate(int& bitrate);
    int GetCount();

protected:
    struct Point
    {
        std::int64_t clock = 0;
        std::uint64_t packets = 0;
    };

    // Callers hold m_lock.
    void Remove();
    void RecalculateIfNecessary();

    const int m_capacity;
    int m_head = 0;
    int m_tail = 0;
    bool m_empty = true;
    bool m_full = false;
    bool m_dirty = false;
    int m_count = 0;
    std::uint64_t m_meanPackets = 0;
    std::uint64_t m_firstPackets = 0;
    std::uint64_t m_lastPackets = 0;
    std::int64_t m_meanClock = 0;
    std::int64_t m_firstClock = 0;
    std::int64_t m_lastClock = 0;
    std::vector<Point> m_points;
    CCriticalSection m_lock;
};
