#pragma once
// The system clock that paces the receiver, and clock values as text.
#include "platform/CString.h"

#include <cstdint>

class CDVBTiming
{
public:
    static std::int64_t GetSystemClock();
    static std::int64_t GetSystemClockFrequency();
    // "[-]DDD:HH:MM:SS.mmm" of `value` counted at `frequency` per second.
    static void ClockToString(std::int64_t frequency, std::int64_t value, CString& text);
    static void SystemClockToString(std::int64_t value, CString& text);
};

// A 90 kHz clock value (PCR base, PTS, DTS, program clock) as text.
void ClockToString(std::int64_t value, CString& text);
