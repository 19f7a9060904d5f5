#include "platform/CClock.h"

#include "platform/CEvent.h"
#include "platform/MonotonicClock.h"

#include <time.h>

std::int64_t CClock::GetMonotonicTime()
{
    return MonotonicNanoseconds();
}

std::int64_t CClock::GetWallTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

DWORD CClock::WaitUntil(CEvent* const* events, DWORD count, std::int64_t deadline)
{
    return CEvent::WaitManyUntil(events, count, deadline);
}

CClock& CClock::System()
{
    static CClock clock;
    return clock;
}
