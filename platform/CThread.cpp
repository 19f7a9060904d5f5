#include "platform/CThread.h"

#include "platform/DebugOutput.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

CThread::~CThread()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool CThread::Start(Proc proc, void* argument)
{
    if (m_thread.joinable() || proc == nullptr)
        return false;
    m_ended.Reset();
    m_thread = std::thread([this, proc, argument] {
        const DWORD code = proc(argument);
        if (!m_terminated)
            m_exitCode = code;
        m_ended.Set();
    });
    return true;
}

bool CThread::WaitForEnd(DWORD timeoutMs)
{
    return m_ended.Wait(timeoutMs) == WAIT_OBJECT_0;
}

void CThread::Terminate(DWORD exitCode)
{
    if (HasEnded())
        return;
    m_exitCode = exitCode;
    m_terminated = true;
    OutputDebugStringA("Thread did not end in time; it is left to finish on its own.\n");
}

void CThread::RaiseCurrentPriority()
{
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, tid);
    if (errno != 0)
        return;
    (void)::setpriority(PRIO_PROCESS, tid, nice - 2);
}
