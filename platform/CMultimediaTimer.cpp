#include "platform/CMultimediaTimer.h"

#include "platform/MonotonicClock.h"

#include <time.h>

bool CMultimediaTimer::Start(DWORD periodMs, CEvent* event)
{
    if (m_thread.joinable() || event == nullptr || periodMs == 0)
        return false;
    m_stop = false;
    const std::int64_t periodNs = std::int64_t(periodMs) * 1000000;
    m_thread = std::thread([this, periodNs, event] { Run(periodNs, event); });
    return true;
}

void CMultimediaTimer::Kill()
{
    if (!m_thread.joinable())
        return;
    m_stop = true;   // the thread sleeps one period at most
    m_thread.join();
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

void CMultimediaTimer::Run(std::int64_t periodNs, CEvent* event)
{
    std::int64_t deadline = MonotonicNanoseconds() + periodNs;
    while (!m_stop) {
        timespec at{};
        at.tv_sec = time_t(deadline / 1000000000);
        at.tv_nsec = long(deadline % 1000000000);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
            // interrupted by a signal: sleep on to the same deadline
        }
        if (m_stop)
            break;
        event->Pulse();
        ++m_expiries;
        deadline = NextDeadline(deadline, MonotonicNanoseconds(), periodNs);
    }
}
