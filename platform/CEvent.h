#pragma once
// A manual- or auto-reset event that threads wait on, alone or several at once.
//
// Set, Reset and Pulse behave as the library's threads expect of events: a set
// manual-reset event releases every waiter and stays set; a set auto-reset event
// releases exactly one waiter, or stays set until one comes; a pulse releases only
// the threads waiting at that moment and leaves no trace otherwise.
//
// Handles are opaque `void*` values for interfaces that hand events out; FromHandle
// turns one back.
#include "platform/LUMTypes.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CEventWaiter;

class CEvent
{
public:
    static constexpr DWORD MaximumWaitObjects = 64;

    CEvent(bool manualReset, bool initialState);
    ~CEvent();
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set();
    void Reset();
    void Pulse();
    bool IsSet() const;
    // Threads waiting on this event now; lets a test know a waiter is in place.
    std::size_t GetWaiterCount() const;

    // WAIT_OBJECT_0 or WAIT_TIMEOUT. A timeout of INFINITE waits for ever.
    DWORD Wait(DWORD timeoutMs);

    // WAIT_OBJECT_0 + the index of the event that ended the wait (the lowest index
    // when several are already set), WAIT_TIMEOUT, or WAIT_FAILED for none or more than MaximumWaitObjects.
    static DWORD WaitMany(CEvent* const* events, DWORD count, DWORD timeoutMs);
    // The same, until an absolute deadline in nanoseconds of the monotonic clock
    // (MonotonicNanoseconds); NoDeadline waits for ever.
    static constexpr std::int64_t NoDeadline = INT64_MAX;
    static DWORD WaitManyUntil(CEvent* const* events, DWORD count, std::int64_t deadline);

    void* Handle() { return this; }
    static CEvent* FromHandle(void* handle) { return static_cast<CEvent*>(handle); }

private:
    struct Registration
    {
        CEventWaiter* waiter;
        DWORD index;
    };

    // Caller holds m_lock. Consumes the signal of an auto-reset event.
    bool TakeSignal();
    // Caller holds m_lock. Releases waiters: one for auto-reset, all for manual.
    // Returns true when at least one waiter took the signal.
    bool ReleaseWaiters();
    void Unregister(CEventWaiter* waiter);

    mutable std::mutex m_lock;
    const bool m_manualReset;
    bool m_signalled;
    std::vector<Registration> m_waiters;   // in arrival order
};
