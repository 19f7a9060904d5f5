#include "tests/support/CScriptedSource.h"

#include <algorithm>
#include <cstring>

void CScriptedSource::AddStep(std::vector<BYTE> bytes)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_steps.push_back(std::move(bytes));
    m_drained = false;
}

void CScriptedSource::AddQuietSteps(int count)
{
    for (int i = 0; i < count; ++i)
        AddStep({});
}

void CScriptedSource::Record(const char* call)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.emplace_back(call);
    m_changed.notify_all();
}

bool CScriptedSource::Initialise()
{
    Record("Initialise");
    return true;
}

bool CScriptedSource::DeInitialise()
{
    Record("DeInitialise");
    return true;
}

bool CScriptedSource::Start()
{
    Record("Start");
    return true;
}

bool CScriptedSource::Stop()
{
    Record("Stop");
    return true;
}

DWORD CScriptedSource::ReadBuffer(BYTE* buffer, DWORD size)
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_reads;
    DWORD length = 0;
    if (m_steps.empty()) {
        m_drained = true;
    } else {
        const std::vector<BYTE>& step = m_steps.front();
        length = DWORD(std::min<std::size_t>(step.size(), size));
        if (length > 0)
            std::memcpy(buffer, step.data(), length);
        m_steps.pop_front();
    }
    m_changed.notify_all();
    return length;
}

void CScriptedSource::NotifyBitrate(int bitsPerSecond)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastBitrate = bitsPerSecond;
}

void CScriptedSource::OnEverySecond()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_secondsNotified;
    m_changed.notify_all();
}

bool CScriptedSource::WaitFor(const std::function<bool(const CScriptedSource&)>& condition,
                              std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, timeout, [&] { return condition(*this); });
}

int CScriptedSource::Reads() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reads;
}

int CScriptedSource::SecondsNotified() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_secondsNotified;
}

int CScriptedSource::LastBitrate() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lastBitrate;
}
