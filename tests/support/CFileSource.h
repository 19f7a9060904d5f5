#pragma once
// A source that plays a transport stream file from memory: as fast as the receiver reads,
// or paced in real time at a given rate. Tests wait for the end with WaitUntilDrained.
#include "core/CDVBTransportStreamSource.h"
#include "platform/CEvent.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CFileSource : public CDVBTransportStreamSource
{
public:
    // False when the file cannot be read or holds no whole packet.
    bool Load(const std::string& path);
    // 0: as fast as the receiver reads.
    void SetRate(double bitsPerSecond) { m_bitsPerSecond = bitsPerSecond; }
    // The stream's own rate, from the first and last PCR of the first PID that carries one.
    double MeasureRate() const;

    bool Start() override;
    DWORD ReadBuffer(BYTE* buffer, DWORD size) override;

    bool WaitUntilDrained(DWORD timeoutMs) { return m_drained.Wait(timeoutMs) == WAIT_OBJECT_0; }
    std::size_t GetSize() const { return m_bytes.size(); }

private:
    std::vector<BYTE> m_bytes;
    std::size_t m_position = 0;
    double m_bitsPerSecond = 0;
    std::int64_t m_startNs = 0;
    CEvent m_drained{true, false};
};
