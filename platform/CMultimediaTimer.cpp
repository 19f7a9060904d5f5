#include "platform/CMultimediaTimer.h"

#include "platform/CEvent.h"

bool CMultimediaTimer::Start(DWORD periodMs)
{
    if (IsRunning() || periodMs == 0)
        return false;
    m_periodNs = std::int64_t(periodMs) * 1000000;
    m_deadline = m_clock.GetMonotonicTime() + m_periodNs;
    return true;
}

std::int64_t CMultimediaTimer::NextDeadline(std::int64_t deadline, std::int64_t now,
                                            std::int64_t period)
{
    const std::int64_t next = deadline + period;
    if (next > now)
        return next;
    const std::int64_t missed = (now - next) / period + 1;
    return next + missed * period;
}

DWORD CMultimediaTimer::Wait(CEvent* const* events, DWORD count)
{
    if (!IsRunning())
        return m_clock.WaitUntil(events, count, CEvent::NoDeadline);
    const DWORD result = m_clock.WaitUntil(events, count, m_deadline);
    if (result == WAIT_TIMEOUT) {
        ++m_expiries;
        m_deadline = NextDeadline(m_deadline, m_clock.GetMonotonicTime(), m_periodNs);
    }
    return result;
}
