#include "platform/CManualClock.h"

#include "platform/CEvent.h"

#include <algorithm>
#include <chrono>

CManualClock::CManualClock(std::int64_t wallTime) : m_wall(wallTime) {}

std::int64_t CManualClock::GetMonotonicTime()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_monotonic;
}

std::int64_t CManualClock::GetWallTime()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_wall;
}

DWORD CManualClock::WaitUntil(CEvent* const* events, DWORD count, std::int64_t deadline)
{
    if (events == nullptr || count == 0 || count >= CEvent::MaximumWaitObjects)
        return WAIT_FAILED;
    if (deadline == CEvent::NoDeadline)
        return CEvent::WaitMany(events, count, INFINITE);   // time has no say in it
    const DWORD already = CEvent::WaitMany(events, count, 0);
    if (already != WAIT_TIMEOUT)
        return already;
    CEvent wake(true, false);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (deadline <= m_monotonic)
            return WAIT_TIMEOUT;
        m_waiters.push_back(Waiter{deadline, &wake});
    }
    m_changed.notify_all();
    CEvent* all[CEvent::MaximumWaitObjects];
    std::copy(events, events + count, all);
    all[count] = &wake;   // last: an event set at the deadline still wins
    const DWORD result = CEvent::WaitMany(all, count + 1, INFINITE);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_waiters.erase(std::find_if(m_waiters.begin(), m_waiters.end(),
                                     [&wake](const Waiter& w) { return w.wake == &wake; }));
    }
    m_changed.notify_all();
    return result == WAIT_OBJECT_0 + count ? WAIT_TIMEOUT : result;
}

void CManualClock::Advance(std::int64_t nanoseconds)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_monotonic += nanoseconds;
    m_wall += nanoseconds;
    for (const Waiter& waiter : m_waiters)
        if (waiter.deadline <= m_monotonic)
            waiter.wake->Set();
}

bool CManualClock::WaitForWaiters(int threads, DWORD limitMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(limitMs), [&] {
        return std::count_if(m_waiters.begin(), m_waiters.end(),
                             [this](const Waiter& w) { return w.deadline > m_monotonic; }) >= threads;
    });
}

bool CManualClock::Run(int steps, std::int64_t step, int threads)
{
    for (int i = 0; i < steps; ++i) {
        Advance(step);
        if (!WaitForWaiters(threads))
            return false;
    }
    return true;
}
