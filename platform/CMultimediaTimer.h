#pragma once
// A periodic timer that pulses an event on every expiry, on a thread of its own that
// sleeps to absolute deadlines of the monotonic clock. A pulse that finds no waiter
// leaves no trace, so the timer never bursts to catch up after a stall: it skips the
// expiries that have passed and keeps its phase.
#include "platform/CEvent.h"
#include "platform/LUMTypes.h"

#include <atomic>
#include <cstdint>
#include <thread>

class CMultimediaTimer
{
public:
    CMultimediaTimer() = default;
    ~CMultimediaTimer() { Kill(); }
    CMultimediaTimer(const CMultimediaTimer&) = delete;
    CMultimediaTimer& operator=(const CMultimediaTimer&) = delete;

    // Starts pulsing `event` every `periodMs` milliseconds; false if already running.
    bool Start(DWORD periodMs, CEvent* event);
    // Stops the timer; no pulse follows once it returns.
    void Kill();
    bool IsRunning() const { return m_thread.joinable(); }
    std::uint64_t GetExpiryCount() const { return m_expiries; }

    // The deadline after `deadline` that lies beyond `now`, in steps of `period`
    // (all in nanoseconds).
    static std::int64_t NextDeadline(std::int64_t deadline, std::int64_t now, std::int64_t period);

private:
    void Run(std::int64_t periodNs, CEvent* event);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_expiries{0};
};
