#include "core/CDVBTiming.h"

#include "platform/MonotonicClock.h"

std::int64_t CDVBTiming::GetSystemClock()
{
    std::int64_t count = 0;
    if (QueryPerformanceCounter(&count))
        return count;
    return std::int64_t(timeGetTime());
}

std::int64_t CDVBTiming::GetSystemClockFrequency()
{
    std::int64_t frequency = 0;
    if (QueryPerformanceFrequency(&frequency) && frequency > 0)
        return frequency;
    return 1000;
}

void CDVBTiming::ClockToString(std::int64_t frequency, std::int64_t value, CString& text)
{
    const bool negative = value < 0;
    if (negative)
        value = -value;
    std::int64_t ms = 0;
    if (frequency >= 1000)
        ms = value / (frequency / 1000);
    else if (frequency > 0)   // a clock slower than 1 kHz: scale up instead of dividing by 0
        ms = value * 1000 / frequency;
    const std::int64_t s = ms / 1000;
    const std::int64_t min = s / 60;
    const std::int64_t h = min / 60;
    const std::int64_t days = h / 24;
    text.Format("%s%03I64d:%02I64d:%02I64d:%02I64d.%03I64d", negative ? "-" : "", days, h % 24,
                min % 60, s % 60, ms % 1000);
}

void CDVBTiming::SystemClockToString(std::int64_t value, CString& text)
{
    ClockToString(GetSystemClockFrequency(), value, text);
}

void ClockToString(std::int64_t value, CString& text)
{
    CDVBTiming::ClockToString(90000, value, text);
}
