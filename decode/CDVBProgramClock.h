#pragma once
// The broadcaster's 90 kHz clock of one program of one receiver, now. Bound to the
// program's PCR receiver by SetProgram, which must be called again after the receiver's
// Reset. Neither pointer is owned.
#include <cstdint>

class CDVBPCRReceiver;
class CDVBReceiverTiming;

class CDVBProgramClock
{
public:
    CDVBProgramClock() = default;
    CDVBProgramClock(const CDVBProgramClock&) = default;
    CDVBProgramClock& operator=(const CDVBProgramClock&) = default;
    virtual ~CDVBProgramClock() = default;

    // The transport stream receiver, or another timing.
    void SetTransportStreamReceiver(CDVBReceiverTiming* receiver) { m_receiver = receiver; }
    // False, keeping the PCR receiver held before, when the program has none yet.
    bool SetProgram(unsigned short programNumber);
    // With interpolation the clock moves smoothly with the system clock between reads;
    // without, it steps with each read buffer.
    bool GetProgramClock(std::int64_t& clock, bool interpolate);

protected:
    void SetPCRReceiver(CDVBPCRReceiver* receiver) { m_pcrReceiver = receiver; }

    CDVBReceiverTiming* m_receiver = nullptr;
    CDVBPCRReceiver* m_pcrReceiver = nullptr;
};
