#include "platform/MonotonicClock.h"

#include <time.h>

std::int64_t MonotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

DWORD timeGetTime()
{
    return DWORD(std::uint64_t(MonotonicNanoseconds() / 1000000));
}

bool QueryPerformanceCounter(std::int64_t* count)
{
    if (count == nullptr)
        return false;
    *count = MonotonicNanoseconds();
    return true;
}

bool QueryPerformanceFrequency(std::int64_t* frequency)
{
    if (frequency == nullptr)
        return false;
    *frequency = 1000000000;
    return true;
}
