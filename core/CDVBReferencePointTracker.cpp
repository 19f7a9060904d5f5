#include "core/CDVBReferencePointTracker.h"

#include "core/CDVBTiming.h"
#include "platform/CSingleLock.h"

CDVBReferencePointTracker::CDVBReferencePointTracker(int capacity)
    : m_capacity(capacity > 0 ? capacity : 1), m_points(std::size_t(m_capacity))
{
    Initialise();
}

void CDVBReferencePointTracker::Initialise()
{
    CSingleLock guard(m_lock);
    m_head = m_tail = m_count = 0;
    m_empty = true;
    m_full = false;
    m_dirty = false;
    m_meanPackets = m_firstPackets = m_lastPackets = 0;
    m_meanClock = m_firstClock = m_lastClock = 0;
}

void CDVBReferencePointTracker::Add(std::int64_t clock, std::uint64_t packets)
{
    CSingleLock guard(m_lock);
    if (m_full)
        Remove();
    m_points[std::size_t(m_head)] = Point{clock, packets};
    m_head = (m_head + 1) % m_capacity;
    ++m_count;
    if (m_tail == m_head)
        m_full = true;
    m_empty = false;
    m_dirty = true;
}

void CDVBReferencePointTracker::Remove()
{
    if (m_empty)
        return;
    m_tail = (m_tail + 1) % m_capacity;
    --m_count;
    if (m_tail == m_head)
        m_empty = true;
    m_full = false;
}

void CDVBReferencePointTracker::RecalculateIfNecessary()
{
    if (!m_dirty)
        return;
    const int n = m_count;
    m_meanPackets = 0;
    m_meanClock = 0;
    if (n != 0) {
        // each term divided before it is summed: no overflow, a mean short by under n units
        m_firstPackets = m_points[std::size_t(m_tail)].packets;
        m_firstClock = m_points[std::size_t(m_tail)].clock;
        int index = m_tail;
        do {
            const Point& point = m_points[std::size_t(index)];
            m_meanPackets += point.packets / std::uint64_t(n);
            m_meanClock += point.clock / n;
            m_lastPackets = point.packets;
            m_lastClock = point.clock;
            index = (index + 1) % m_capacity;
        } while (index != m_head);
    }
    m_dirty = false;
}

void CDVBReferencePointTracker::GetReferencePoint(std::int64_t& clock, std::uint64_t& packets)
{
    CSingleLock guard(m_lock);
    RecalculateIfNecessary();
    clock = m_meanClock;
    packets = m_meanPackets;
}

void CDVBReferencePointTracker::GetBitrate(int& bitrate)
{
    CSingleLock guard(m_lock);
    RecalculateIfNecessary();
    const double bits = double((m_meanPackets - m_firstPackets) * 1504);
    const double seconds = double(m_meanClock - m_firstClock) / double(CDVBTiming::GetSystemClockFrequency());
    bitrate = seconds == 0.0 ? 0 : int(bits / seconds);
}

int CDVBReferencePointTracker::GetCount()
{
    CSingleLock guard(m_lock);
    return m_count;
}
