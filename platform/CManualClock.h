#pragma once
// A clock that moves only when told to, for tests of anything that takes a CClock.
// Threads that wait on it for a deadline wake when Advance reaches it; WaitForWaiters
// tells the test when they have done what the new time asked of them and wait again.
#include "platform/CClock.h"

#include <condition_variable>
#include <mutex>
#include <vector>

class CManualClock : public CClock
{
public:
    // Starts at 1 000 s of monotonic time and at `wallTime` (nanoseconds since 1970).
    explicit CManualClock(std::int64_t wallTime = 1798761600LL * 1000000000);   // 2027-01-01 UTC

    std::int64_t GetMonotonicTime() override;
    std::int64_t GetWallTime() override;
    DWORD WaitUntil(CEvent* const* events, DWORD count, std::int64_t deadline) override;
    bool IsSimulated() override { return true; }

    // Moves both clocks on by `nanoseconds`; waiters whose deadline has come wake.
    void Advance(std::int64_t nanoseconds);
    // Waits, up to `limitMs` of real time, until `threads` threads wait on this clock for
    // a deadline still to come (a wait without a deadline does not count). False if they
    // did not within the limit.
    bool WaitForWaiters(int threads, DWORD limitMs = 20000);
    // Advance by `step` `steps` times, letting `threads` waiters settle after each.
    bool Run(int steps, std::int64_t step, int threads);

private:
    struct Waiter
    {
        std::int64_t deadline;
        CEvent* wake;
    };

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::int64_t m_monotonic = 1000LL * 1000000000;
    std::int64_t m_wall;
    std::vector<Waiter> m_waiters;
};
