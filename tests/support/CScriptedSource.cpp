#include "tests/support/CScriptedSource.h"

#include <algorithm>
#include <chrono>
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

bool CScriptedSource::Record(const char* call)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.emplace_back(call);
    m_changed.notify_all();
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
        length = DWORD(std::min<std::size_t>(m_steps.front().size(), size));
        if (length > 0)   // an empty step's data() may be null
            std::memcpy(buffer, m_steps.front().data(), length);
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
}

bool CScriptedSource::WaitFor(const std::function<bool(const CScriptedSource&)>& condition)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::seconds(10), [&] { return condition(*this); });
}

bool CScriptedSource::IsDrained() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_drained;
}
