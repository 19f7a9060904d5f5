#pragma once
// A source for tests of the real receive thread.
#include "core/CDVBTransportStreamSource.h"
#include "platform/CEvent.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

using Calls = std::vector<std::string>;

// Delivers chosen bytes, one step a read (an empty step, or any read after the last step,
// finds nothing), and records how the receiver drives it.
struct CScriptedSource : CDVBTransportStreamSource
{
    void AddStep(std::vector<BYTE> bytes)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_steps.push_back(std::move(bytes));
        m_drained.Reset();
    }
    bool Initialise() override { return Record("Initialise"); }
    bool DeInitialise() override { return Record("DeInitialise"); }
    bool Start() override { return Record("Start"); }
    bool Stop() override { return Record("Stop"); }
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override
    {
        m_inRead.Set();
        m_release.Wait(30000);
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_steps.empty()) {
            m_drained.Set();
            return 0;
        }
        const DWORD length = DWORD(std::min<std::size_t>(m_steps.front().size(), size));
        std::copy_n(m_steps.front().begin(), length, buffer);
        m_steps.pop_front();
        return length;
    }
    void NotifyBitrate(int bitsPerSecond) override { m_lastBitrate = bitsPerSecond; }
    void OnEverySecond() override { ++m_secondsNotified; }
    bool Record(const char* call) { m_calls.emplace_back(call); return true; }

    std::mutex m_lock;
    std::deque<std::vector<BYTE>> m_steps;
    CEvent m_drained{true, false};   // every step read and a further read found nothing: all dispatched
    CEvent m_inRead{true, false}, m_release{true, true};   // reset m_release: a device whose read hangs
    std::atomic<int> m_secondsNotified{0}, m_lastBitrate{-1};
    Calls m_calls;   // read once the receive thread's period has ended
};
