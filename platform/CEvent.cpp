#include "platform/CEvent.h"

#include "platform/MonotonicClock.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>

// One waiting thread. An event that fires it records which event it was; the first
// fire wins, so an auto-reset signal is never consumed by two waiters, nor by a
// waiter that has already given up on a time-out.
class CEventWaiter
{
public:
    bool Fire(DWORD index)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_done)
            return false;
        m_done = true;
        m_firedIndex = index;
        m_wake.notify_one();
        return true;
    }

    // Returns the fired index, or WAIT_TIMEOUT when the deadline came first.
    DWORD WaitUntilFiredOr(std::int64_t deadlineNs)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        if (deadlineNs == CEvent::NoDeadline) {
            m_wake.wait(guard, [this] { return m_done; });
        } else {
            // steady_clock is CLOCK_MONOTONIC, the clock deadlines are counted on
            const std::chrono::steady_clock::time_point deadline{std::chrono::nanoseconds(deadlineNs)};
            if (!m_wake.wait_until(guard, deadline, [this] { return m_done; })) {
                m_done = true;   // claim the end: a later Fire is refused
                return WAIT_TIMEOUT;
            }
        }
        return m_firedIndex;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    DWORD m_firedIndex = WAIT_TIMEOUT;
};

CEvent::CEvent(bool manualReset, bool initialState)
    : m_manualReset(manualReset), m_signalled(initialState)
{
}

CEvent::~CEvent() = default;

bool CEvent::TakeSignal()
{
    if (!m_signalled)
        return false;
    if (!m_manualReset)
        m_signalled = false;
    return true;
}

bool CEvent::ReleaseWaiters()
{
    bool released = false;
    for (const Registration& r : m_waiters) {
        if (r.waiter->Fire(r.index)) {
            released = true;
            if (!m_manualReset)
                break;
        }
    }
    return released;
}

void CEvent::Set()
{
    std::lock_guard<std::mutex> guard(m_lock);
    const bool released = ReleaseWaiters();
    if (m_manualReset || !released)
        m_signalled = true;
}

void CEvent::Reset()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_signalled = false;
}

void CEvent::Pulse()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ReleaseWaiters();
    m_signalled = false;
}

bool CEvent::IsSet() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_signalled;
}

std::size_t CEvent::GetWaiterCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_waiters.size();
}

void CEvent::Unregister(CEventWaiter* waiter)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_waiters.erase(std::remove_if(m_waiters.begin(), m_waiters.end(),
                                   [waiter](const Registration& r) { return r.waiter == waiter; }),
                    m_waiters.end());
}

DWORD CEvent::Wait(DWORD timeoutMs)
{
    CEvent* self = this;
    return WaitMany(&self, 1, timeoutMs);
}

DWORD CEvent::WaitMany(CEvent* const* events, DWORD count, DWORD timeoutMs)
{
    if (timeoutMs == INFINITE)
        return WaitManyUntil(events, count, NoDeadline);
    // a time-out of 0 still looks at the events first
    return WaitManyUntil(events, count, timeoutMs == 0 ? 0 : MonotonicNanoseconds() + std::int64_t(timeoutMs) * 1000000);
}

DWORD CEvent::WaitManyUntil(CEvent* const* events, DWORD count, std::int64_t deadline)
{
    if (events == nullptr || count == 0 || count > MaximumWaitObjects)
        return WAIT_FAILED;

    // Take every event's lock in one global order, so that no signal can slip in
    // between looking at the events and enrolling with them. A fixed array: the receive
    // thread waits every millisecond and should not allocate to do it.
    CEvent* ordered[MaximumWaitObjects];
    std::copy(events, events + count, ordered);
    std::sort(ordered, ordered + count);
    CEvent** const orderedEnd = std::unique(ordered, ordered + count);
    for (CEvent** e = ordered; e != orderedEnd; ++e)
        (*e)->m_lock.lock();
    auto unlockAll = [&ordered, orderedEnd] {
        for (CEvent** e = orderedEnd; e != ordered;)
            (*--e)->m_lock.unlock();
    };

    for (DWORD i = 0; i < count; ++i) {
        if (events[i]->TakeSignal()) {
            unlockAll();
            return WAIT_OBJECT_0 + i;
        }
    }
    if (deadline != NoDeadline && deadline <= MonotonicNanoseconds()) {
        unlockAll();
        return WAIT_TIMEOUT;
    }

    CEventWaiter waiter;
    for (DWORD i = 0; i < count; ++i)
        events[i]->m_waiters.push_back(Registration{&waiter, WAIT_OBJECT_0 + i});
    unlockAll();

    const DWORD result = waiter.WaitUntilFiredOr(deadline);
    for (CEvent** e = ordered; e != orderedEnd; ++e)
        (*e)->Unregister(&waiter);
    return result;
}
