#pragma once
// A source that delivers chosen byte sequences, one per read, and records how the
// receiver drives it. Tests wait on it with a bounded wait, never a sleep.
#include "core/CDVBTransportStreamSource.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CScriptedSource : public CDVBTransportStreamSource
{
public:
    // Each read takes the next step; an empty step is a read that finds nothing. Once the
    // script is used up every read finds nothing.
    void AddStep(std::vector<BYTE> bytes);
    void AddQuietSteps(int count);

    bool Initialise() override { return Record("Initialise"); }
    bool DeInitialise() override { return Record("DeInitialise"); }
    bool Start() override { return Record("Start"); }
    bool Stop() override { return Record("Stop"); }
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;
    void NotifyBitrate(int bitsPerSecond) override;
    void OnEverySecond() override;

    // Waits up to ten seconds for `condition`, checked under the source's lock after every
    // call the receiver makes.
    bool WaitFor(const std::function<bool(const CScriptedSource&)>& condition);
    // True once every step has been read and a further read found nothing: all the
    // script's bytes have been dispatched by then.
    bool IsDrained() const;

    // Read inside WaitFor conditions, or while the receive thread waits on a manual clock.
    int m_reads = 0;
    int m_secondsNotified = 0;
    int m_lastBitrate = -1;
    std::vector<std::string> m_calls;   // "Initialise", "Start", "Stop", "DeInitialise"

private:
    bool Record(const char* call);

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::vector<BYTE>> m_steps;
    bool m_drained = false;
};
