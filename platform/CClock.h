#pragma once
// Where the library's time comes from: a monotonic clock that paces the receive thread
// and stamps reference points (nanoseconds, the system clock's units), a wall clock, and
// waits that end at a deadline of the monotonic clock. The base class is the system's
// clocks; a test hands the objects it builds a CManualClock and moves time on by hand,
// so nothing that depends on time needs a real wait to be tested.
#include "platform/LUMTypes.h"

#include <cstdint>

class CEvent;

class CClock
{
public:
    CClock() = default;
    CClock(const CClock&) = delete;
    CClock& operator=(const CClock&) = delete;
    virtual ~CClock() = default;

    // Nanoseconds of a clock that never goes back (CLOCK_MONOTONIC).
    virtual std::int64_t GetMonotonicTime();
    // Nanoseconds since 1970-01-01 00:00 UTC (CLOCK_REALTIME).
    virtual std::int64_t GetWallTime();
    // Waits for the first of `events` to be set, or until the monotonic time reaches
    // `deadline`: WAIT_OBJECT_0 + the event's index, WAIT_TIMEOUT or WAIT_FAILED.
    virtual DWORD WaitUntil(CEvent* const* events, DWORD count, std::int64_t deadline);
    // Whether time moves only when a test or a host moves it: what waits on a thread of its
    // own (a disk) is then waited for, since no time passes meanwhile.
    virtual bool IsSimulated() { return false; }

    // The system's clocks, for everything that is not given another.
    static CClock& System();
};
