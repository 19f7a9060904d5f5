#pragma once
// A thread that runs one function and can be waited for with a time-out.
//
// Linux cannot kill one thread of a process safely, so Terminate only gives up on the
// thread: it says so on the debugger output and the thread finishes on its own. The
// destructor joins, so an object must outlive whatever its thread still uses.
#include "platform/CEvent.h"
#include "platform/LUMTypes.h"

#include <atomic>
#include <thread>

class CThread
{
public:
    using Proc = DWORD (*)(void*);

    CThread() = default;
    ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    bool Start(Proc proc, void* argument);
    // True once the function has returned, false when the time-out passed first.
    bool WaitForEnd(DWORD timeoutMs);
    bool HasEnded() const { return m_ended.IsSet(); }
    void Terminate(DWORD exitCode);
    bool WasTerminated() const { return m_terminated; }
    DWORD GetExitCode() const { return m_exitCode; }

    // Raises the calling thread two steps above normal where the system allows it
    // without privileges; a refusal is ignored.
    static void RaiseCurrentPriority();

private:
    std::thread m_thread;
    CEvent m_ended{true, false};
    std::atomic<DWORD> m_exitCode{0};
    std::atomic<bool> m_terminated{false};
};
