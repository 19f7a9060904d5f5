#pragma once
// The monotonic clock in the units the library's interfaces count in.
#include "platform/LUMTypes.h"

#include <cstdint>

// Nanoseconds of CLOCK_MONOTONIC.
std::int64_t MonotonicNanoseconds();

// Milliseconds of the monotonic clock, 32-bit, wrapping after about 49.7 days.
DWORD timeGetTime();

// The performance counter: nanoseconds, at a frequency of 1 000 000 000.
bool QueryPerformanceCounter(std::int64_t* count);
bool QueryPerformanceFrequency(std::int64_t* frequency);
