#pragma once
// A source that plays a transport stream file from memory: as fast as the receiver reads,
// or paced in real time at a given rate. Tests wait for the end with WaitUntilDrained.
#include "core/CDVBTransportStreamSource.h"
#include "platform/CClock.h"
#include "platform/CEvent.h"

#include <cstdint>
#include <string>
#include <vector>

class CFileSource : public CDVBTransportStreamSource
{
public:
    bool Load(const std::string& path);   // false when the file holds no whole packet
    // 0: as fast as the receiver reads. Otherwise paced by `clock`, not owned.
    void SetRate(double bitsPerSecond, CClock* clock) { m_bitsPerSecond = bitsPerSecond; m_clock = clock; }
    bool WaitUntilDrained(DWORD timeoutMs) { return m_drained.Wait(timeoutMs) == WAIT_OBJECT_0; }

    bool Start() override { m_startNs = m_clock->GetMonotonicTime(); return true; }
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;

private:
    std::vector<BYTE> m_bytes;
    std::size_t m_position = 0;
    double m_bitsPerSecond = 0;
    CClock* m_clock = &CClock::System();
    std::int64_t m_startNs = 0;
    CEvent m_drained{true, false};
};
