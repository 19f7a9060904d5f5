#pragma once
// A periodic timer on a clock, waited for by the thread that owns it: Wait returns at the
// timer's next expiry or as soon as one of the given events is set. Expiries lie on a
// fixed grid of absolute deadlines; those that pass while the owner is busy elsewhere are
// skipped, so a late owner never bursts to catch up and the timer keeps its phase.
#include "platform/CClock.h"
#include "platform/LUMTypes.h"

#include <cstdint>

class CEvent;

class CMultimediaTimer
{
public:
    explicit CMultimediaTimer(CClock& clock = CClock::System()) : m_clock(clock) {}
    CMultimediaTimer(const CMultimediaTimer&) = delete;
    CMultimediaTimer& operator=(const CMultimediaTimer&) = delete;

    // The first expiry comes one period from now; false if already running.
    bool Start(DWORD periodMs);
    void Kill() { m_periodNs = 0; }
    bool IsRunning() const { return m_periodNs != 0; }
    std::uint64_t GetExpiryCount() const { return m_expiries; }

    // WAIT_OBJECT_0 + the index of the event that ended the wait, or WAIT_TIMEOUT at an
    // expiry. A timer that does not run waits for the events alone.
    DWORD Wait(CEvent* const* events, DWORD count);

    // The deadline after `deadline` that lies beyond `now`, in steps of `period`
    // (all in nanoseconds).
    static std::int64_t NextDeadline(std::int64_t deadline, std::int64_t now, std::int64_t period);

private:
    CClock& m_clock;
    std::int64_t m_periodNs = 0;
    std::int64_t m_deadline = 0;
    std::uint64_t m_expiries = 0;
};
